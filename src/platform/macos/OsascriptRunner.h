#pragma once

#include "platform/StagedCopyRunner.h"

#include <QString>

// Copies the staged hosts file into place through "do shell script ... with
// administrator privileges", which shows the system's password prompt.
class OsascriptRunner : public StagedCopyRunner {
public:
    OsascriptRunner(QString hostsPath, QString stagingDirectory,
                    QString program = QStringLiteral("/usr/bin/osascript"));

    // The AppleScript source that runs `commandLine` as administrator.
    static QString script(const QString& commandLine);

protected:
    void runShell(const QString& commandLine, Done done) override;

private:
    QString m_program;
};
