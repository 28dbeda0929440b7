#pragma once

#include "platform/PrivilegedRunner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Runs each command line as `/bin/sh -c CMD` without any privileges, which
// is enough for hosts files in temporary directories. Records every command
// line it is asked to run, and can be told to fail instead of running.
class DirectShellRunner : public PrivilegedRunner {
public:
    explicit DirectShellRunner(QString shell = QStringLiteral("/bin/sh"));

    Result<RunnerOutcome, PlatformError> run(const QString& commandLine) override;

    // Every command line asked for, in order, including the ones made to fail.
    const QStringList& commands() const { return m_commands; }

    // Every following run ends with this status and output without running
    // the command, until succeed(). `refused` marks a refused authentication.
    void failWith(int status, QByteArray output = {}, bool refused = false);
    // Only the next run fails so; later runs behave as before.
    void failNextWith(int status, QByteArray output = {}, bool refused = false);
    // Every following run fails to start with this platform error text.
    void failToStartWith(QString message);
    // Back to really running every command.
    void succeed();

private:
    struct Failure {
        bool startFails = false;
        QString startMessage;
        RunnerOutcome outcome;
    };

    QString m_shell;
    QStringList m_commands;
    std::optional<Failure> m_always;
    std::optional<Failure> m_next;
};
