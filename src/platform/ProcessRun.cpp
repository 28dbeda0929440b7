#include "platform/ProcessRun.h"

#include <QProcess>

#include <memory>

ProcessOwner::~ProcessOwner() {
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        process->disconnect();
}

void runProcess(ProcessOwner* owner, const QString& program, const QStringList& arguments,
                const QByteArray& input, PrivilegedRunner::Done done) {
    auto* process = new QProcess(owner);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // One call of `done`, whichever signal comes first.
    auto pending = std::make_shared<PrivilegedRunner::Done>(std::move(done));
    auto finish = [process, pending](PrivilegedRunner::Outcome outcome) {
        if (!*pending)
            return;
        auto call = std::move(*pending);
        *pending = nullptr;
        process->deleteLater();
        call(std::move(outcome));
    };
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, finish](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             finish(HostBlockerError::platform(process->errorString()));
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, finish](int exitCode, QProcess::ExitStatus status) {
                         RunnerOutcome outcome;
                         outcome.output = process->readAll();
                         outcome.exitStatus = status == QProcess::NormalExit ? exitCode : -1;
                         finish(std::move(outcome));
                     });
    QObject::connect(process, &QProcess::started, process, [process, input] {
        // Nothing more is ever typed in; a read must not wait forever.
        process->write(input);
        process->closeWriteChannel();
    });
    process->start(program, arguments);
}
