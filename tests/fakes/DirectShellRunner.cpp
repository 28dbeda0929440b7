#include "DirectShellRunner.h"

#include <QProcess>

DirectShellRunner::DirectShellRunner(QString shell) : m_shell(std::move(shell)) {}

Result<RunnerOutcome, PlatformError> DirectShellRunner::run(const QString& commandLine) {
    m_commands.append(commandLine);

    std::optional<Failure> failure = m_next ? m_next : m_always;
    m_next.reset();
    if (failure) {
        if (failure->startFails)
            return PlatformError{failure->startMessage};
        return failure->outcome;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_shell, {QStringLiteral("-c"), commandLine});
    if (!process.waitForStarted(-1))
        return PlatformError{process.errorString()};
    process.waitForFinished(-1);
    RunnerOutcome outcome;
    outcome.output = process.readAll();
    outcome.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return outcome;
}

void DirectShellRunner::failWith(int status, QByteArray output, bool refused) {
    m_always = Failure{false, QString(), RunnerOutcome{status, std::move(output), refused}};
}

void DirectShellRunner::failNextWith(int status, QByteArray output, bool refused) {
    m_next = Failure{false, QString(), RunnerOutcome{status, std::move(output), refused}};
}

void DirectShellRunner::failToStartWith(QString message) {
    m_always = Failure{true, std::move(message), RunnerOutcome{}};
}

void DirectShellRunner::succeed() {
    m_always.reset();
    m_next.reset();
}
