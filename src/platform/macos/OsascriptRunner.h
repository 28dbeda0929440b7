#pragma once
#include "platform/PrivilegedRunner.h"
// Runs a command through "do shell script ... with administrator privileges".
class OsascriptRunner : public PrivilegedRunner {
public:
    explicit OsascriptRunner(QString program = QStringLiteral("/usr/bin/osascript"));
    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;
private:
    QString m_program;
};
