#include "DirectShellRunner.h"

#include <QProcess>
#include <QTimer>

#include <utility>

void DirectShellRunner::runAsRoot(const QString& commandLine, Done done) {
    if (m_delayMs >= 0) {
        QTimer::singleShot(m_delayMs, &m_processes, [this, commandLine, done] {
            const int delay = std::exchange(m_delayMs, -1);
            runAsRoot(commandLine, done);
            m_delayMs = delay;
        });
        return;
    }
    m_commands.append(commandLine);
    if (m_startError)
        return done(HostBlockerError::platform(*m_startError));
    if (m_outcome) {
        const RunnerOutcome outcome = *m_outcome;
        if (m_failuresLeft > 0 && --m_failuresLeft == 0)
            m_outcome.reset();
        return done(outcome);
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("/bin/sh", {"-c", commandLine});
    process.waitForFinished(-1);
    done(RunnerOutcome{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                       process.readAll()});
}
