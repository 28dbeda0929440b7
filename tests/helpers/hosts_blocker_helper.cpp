// Applies or clears the block section of the real hosts path through the
// real runner and helper, the way the app does. Only meant to run inside a
// private mount namespace where a temporary file is bound over /etc/hosts.
//   hosts_blocker_helper HELPER apply|clear [ENTRY...]
// Prints "ok", or "refused: " / "failed: " and the error's description.
#include "fakes/NullDnsCacheFlusher.h"
#include "platform/linux/hosts/LinuxPrivilegedRunner.h"
#include "services/HostBlocker.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || (args[1] != "apply" && args[1] != "clear")) {
        QTextStream(stderr) << "usage: hosts_blocker_helper HELPER apply|clear [ENTRY...]\n";
        return 2;
    }
    HostBlocker blocker(HostBlockerOptions(), std::make_unique<LinuxPrivilegedRunner>(args[0]),
                        std::make_unique<NullDnsCacheFlusher>());
    auto done = [](HostBlocker::RunResult result) {
        QTextStream out(stdout);
        if (result.ok()) {
            out << "ok\n";
        } else {
            out << (result.error().kind() == HostBlockerError::Kind::NotAuthorized ? "refused: "
                                                                                   : "failed: ")
                << result.error().errorDescription().value_or("") << "\n";
        }
        // The answer may come before the event loop runs.
        QMetaObject::invokeMethod(
            qApp, [ok = result.ok()] { QCoreApplication::exit(ok ? 0 : 1); }, Qt::QueuedConnection);
    };
    if (args[1] == "apply")
        blocker.apply(args.mid(2), std::chrono::minutes(25), done);
    else
        blocker.clear(done);
    return app.exec();
}
