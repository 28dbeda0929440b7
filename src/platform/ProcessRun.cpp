#include "platform/ProcessRun.h"

#include <QProcess>

Result<RunnerOutcome, PlatformError> runToExit(const QString& program,
                                               const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Nothing is ever typed into the command; a read must not block forever.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return PlatformError{process.errorString()};

    // waitForFinished keeps reading the pipe, so a chatty command cannot
    // stall on a full pipe buffer.
    process.waitForFinished(-1);

    RunnerOutcome outcome;
    outcome.output = process.readAll();
    if (process.exitStatus() == QProcess::NormalExit)
        outcome.exitStatus = process.exitCode();
    else
        outcome.exitStatus = -1;
    return outcome;
}
