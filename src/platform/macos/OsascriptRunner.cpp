#include "platform/macos/OsascriptRunner.h"
#include "platform/ProcessRun.h"

OsascriptRunner::OsascriptRunner(QString program) : m_program(std::move(program)) {}

QString OsascriptRunner::script(const QString& commandLine) {
    QString escaped = commandLine;
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QStringLiteral("do shell script \"") + escaped +
           QStringLiteral("\" with administrator privileges");
}

Result<RunnerOutcome, PlatformError> OsascriptRunner::run(const QString& commandLine) {
    auto outcome = runToExit(m_program, {QStringLiteral("-e"), script(commandLine)});
    if (outcome) {
        // -128 is AppleScript's "User canceled".
        outcome.value().authorizationRefused = outcome.value().output.contains("(-128)");
    }
    return outcome;
}
