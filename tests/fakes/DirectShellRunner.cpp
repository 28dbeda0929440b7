#include "DirectShellRunner.h"

#include <QProcess>

Result<RunnerOutcome, PlatformError> DirectShellRunner::run(const QString& commandLine) {
    m_commands.append(commandLine);
    if (m_startError)
        return PlatformError{*m_startError};
    if (m_outcome)
        return *m_outcome;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("/bin/sh", {"-c", commandLine});
    if (!process.waitForStarted(-1))
        return PlatformError{process.errorString()};
    process.waitForFinished(-1);
    return RunnerOutcome{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                         process.readAll()};
}
