#pragma once

#include "platform/portable/StagedCopyRunner.h"

#include <QString>

// Puts the staged hosts file in place through "do shell script ... with
// administrator privileges", which shows the system's password prompt. A
// block's run also makes mDNSResponder drop its cached answers, so one
// prompt covers both.
class OsascriptRunner : public StagedCopyRunner {
public:
    OsascriptRunner(QString hostsPath, QString stagingDirectory,
                    QString program = QStringLiteral("/usr/bin/osascript"));

    static const QString kFlushCommand;

    // The AppleScript source that runs `commandLine` as administrator.
    static QString script(const QString& commandLine);

protected:
    void runAsRoot(const QString& commandLine, Done done) override;

private:
    QString m_program;
};
