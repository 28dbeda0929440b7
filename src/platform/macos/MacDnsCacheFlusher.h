#pragma once

#include "platform/DnsCacheFlusher.h"
#include "platform/ProcessRun.h"

#include <QString>

// Sends mDNSResponder a hang-up with administrator rights.
class MacDnsCacheFlusher : public DnsCacheFlusher {
public:
    explicit MacDnsCacheFlusher(QString program = QStringLiteral("/usr/bin/osascript"));
    void flush() override;

private:
    QString m_program;
    ProcessOwner m_processes;
};
