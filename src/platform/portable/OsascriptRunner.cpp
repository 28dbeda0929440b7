#include "platform/portable/OsascriptRunner.h"

const QString OsascriptRunner::kFlushCommand =
    QStringLiteral("/usr/sbin/killall -HUP mDNSResponder >/dev/null 2>&1 || true");

OsascriptRunner::OsascriptRunner(QString hostsPath, QString stagingDirectory, QString program)
    : StagedCopyRunner(std::move(hostsPath), std::move(stagingDirectory), kFlushCommand),
      m_program(std::move(program)) {}

QString OsascriptRunner::script(const QString& commandLine) {
    // Backslashes first, or the quotes' own escapes would be doubled.
    QString escaped = commandLine;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QStringLiteral("do shell script \"") + escaped +
           QStringLiteral("\" with administrator privileges");
}

void OsascriptRunner::runAsRoot(const QString& commandLine, Done done) {
    runProcess(&m_processes, m_program, {QStringLiteral("-e"), script(commandLine)}, {},
               [done = std::move(done)](Outcome outcome) {
                   // -128 is AppleScript's "User canceled".
                   if (outcome)
                       outcome.value().authorizationRefused =
                           outcome.value().output.contains("(-128)");
                   done(std::move(outcome));
               });
}
