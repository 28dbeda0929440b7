// Sits idle until killed, for workspace_bench to count its wake-ups: a
// window with one label; with "sweep" also an empty 2-second timer, the
// least any blocker that sweeps every 2 seconds costs; with "session" the
// application blocking of a running session instead (the workspace on the
// session bus and the blocker with one listed application, as the app
// wires them).
//   idle_session [label|sweep|session]
#include "platform/linux/workspace/LinuxWorkspace.h"
#include "services/AppBlocker.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QLabel label(QStringLiteral("Idle"));
    label.show();
    std::unique_ptr<LinuxWorkspace> workspace;
    std::unique_ptr<AppBlocker> blocker;
    QTimer sweep;
    if (argc > 1 && QByteArray(argv[1]) == "sweep") {
        sweep.setTimerType(Qt::PreciseTimer);
        sweep.start(2000);
    }
    if (argc > 1 && QByteArray(argv[1]) == "session") {
        workspace = std::make_unique<LinuxWorkspace>(LinuxWorkspace::Options{},
                                                     QDBusConnection::sessionBus());
        blocker = std::make_unique<AppBlocker>(
            QStringList{QStringLiteral("org.tarnhollowbench.Listed")}, *workspace);
        blocker->start();
    }
    return QApplication::exec();
}
