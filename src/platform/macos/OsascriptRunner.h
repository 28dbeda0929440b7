#pragma once

#include "platform/PrivilegedRunner.h"

#include <QString>

// Runs a command through "do shell script ... with administrator privileges".
class OsascriptRunner : public PrivilegedRunner {
public:
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"));
    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;

    // The AppleScript source that runs `commandLine` as administrator.
    static QString script(const QString& commandLine);

private:
    QString m_program;
};
