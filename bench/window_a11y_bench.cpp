// Opening the window with 20,000 saved websites, with the accessibility bridge
// on and off: milliseconds from building the window to its first painted
// frame, whether QAccessible::isActive() was true then, and what reading the
// website list through its accessible interface costs (the row count and the
// name of the last row, made on demand). With the bridge on, a client then
// searches the window over the bus as a screen reader does when focus enters
// a card (every showing object; tables, trees and list boxes passed over);
// reader_ms is how long that took. Each case runs in a child process of its
// own, on a temporary configuration.
//
// The bridge needs a display (xcb: the offscreen platform has none) and a
// session bus; the bench starts the accessibility bus on it. Run it as
//
//   xvfb-run -a dbus-run-session -- build/bench/window_a11y_bench [websites] [runs]
//
// "on" sets QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and waits for the bridge
// before building the window; "off" leaves the variable unset. The search
// needs /usr/bin/python3 with pyatspi. TARNHOLLOW_BENCH_HOLD_S=<s> keeps each
// window open that long afterwards, to try a screen reader on it.

#include "ScratchController.h"
#include "fakes/FakeInstalledApplications.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/ContentView.h"
#include "ui/EntryListView.h"
#include "ui/FormCard.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <utility>

namespace {

const char* const alwaysOn = "QT_LINUX_ACCESSIBILITY_ALWAYS_ON";

// Searches the application with process id argv[1] as a screen reader looks
// for stray labels: it prints how many objects it visited and the time taken.
const char* const readerScript = R"(
import sys, time, pyatspi
skip = {pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_BAR,
        pyatspi.ROLE_SCROLL_PANE, pyatspi.ROLE_SPLIT_PANE, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE,
        pyatspi.ROLE_TREE_TABLE}
app = None
for _ in range(100):
    app = next((a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == int(sys.argv[1])), None)
    if app and app.childCount:
        break
    time.sleep(0.1)
seen = 0
def search(node):
    global seen
    for i in range(node.childCount):
        child = node[i]
        seen += 1
        if child and child.getRole() not in skip and child.getState().contains(pyatspi.STATE_SHOWING):
            search(child)
start = time.monotonic()
search(app)
print("%d %.1f" % (seen, (time.monotonic() - start) * 1e3))
)";

// Calls `painted` once the window's first frame is painted and flushed.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> painted)
        : QObject(window), m_painted(std::move(painted)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_painted) {
            QTimer::singleShot(0, this, std::exchange(m_painted, {}));
        }
        return false;
    }

private:
    std::function<void()> m_painted;
};

int measure(int websites) {
    QTemporaryDir scratch;
    FocusConfiguration saved;
    for (int i = 0; i < websites; ++i) {
        // Some are no web address, so that their rows carry a hint.
        saved.websites << (i % 50 == 49 ? QStringLiteral("not a site %1").arg(i)
                                        : QStringLiteral("site%1.example.com").arg(i));
    }
    const QString config = scratch.filePath(QStringLiteral("focus-config.json"));
    if (!FocusStore(config).save(saved)) {
        return 1;
    }

    const bool bridgeWanted = qEnvironmentVariableIsSet(alwaysOn);
    if (bridgeWanted) {
        // The bridge connects to the bus asynchronously.
        QElapsedTimer waited;
        waited.start();
        while (!QAccessible::isActive() && waited.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }

    QElapsedTimer timer;
    timer.start();
    ContentView view(scratchController(scratch), std::make_unique<FakeInstalledApplications>());
    view.resize(view.minimumSize());

    QString figures;
    QProcess reader;
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto finish = [&] {
        std::printf("%s\n", qPrintable(figures));
        std::fflush(stdout);
        QTimer::singleShot(qEnvironmentVariableIntValue("TARNHOLLOW_BENCH_HOLD_S") * 1000, qApp,
                           &QCoreApplication::quit);
    };
    QObject::connect(&reader, &QProcess::finished, &view, [&] {
        const QList<QByteArray> fields = reader.readAllStandardOutput().simplified().split(' ');
        figures += fields.size() == 2
                       ? QStringLiteral(" reader_ms=%1 reader_objects=%2")
                             .arg(QString::fromLatin1(fields[1]), QString::fromLatin1(fields[0]))
                       : QStringLiteral(" reader=failed");
        finish();
    });
    new FirstPaint(&view, [&] {
        const double paintedMs = double(timer.nsecsElapsed()) / 1e6;
        const bool active = QAccessible::isActive();
        QElapsedTimer read;
        read.start();
        QAccessibleInterface* list =
            QAccessible::queryAccessibleInterface(view.websitesCard()->entryList());
        const int rows = list ? list->childCount() : -1;
        QAccessibleInterface* last = rows > 0 ? list->child(rows - 1) : nullptr;
        const QString name = last ? last->text(QAccessible::Name) : QString();
        figures = QStringLiteral("first_paint_ms=%1 active=%2 rows=%3 read_ms=%4 last_row=\"%5\"")
                      .arg(paintedMs, 0, 'f', 1)
                      .arg(active ? 1 : 0)
                      .arg(rows)
                      .arg(double(read.nsecsElapsed()) / 1e6, 0, 'f', 2)
                      .arg(name);
        if (!active) {
            finish();
            return;
        }
        // Asynchronous: the window answers the search from its event loop.
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromLatin1(readerScript),
                      QString::number(QCoreApplication::applicationPid())});
    });
    view.show();
    return QApplication::exec();
}

// One child process in `environment`; its report line, or nothing.
QByteArray runChild(const QProcessEnvironment& environment, int websites) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QString::number(websites)});
    // Long enough for a slow window to be measured rather than lost.
    child.waitForFinished(600000);
    return child.readAllStandardOutput().trimmed();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        QApplication application(argc, argv);
        return measure(QByteArray(argv[2]).toInt());
    }
    QCoreApplication application(argc, argv);
    const int websites = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        std::fprintf(stderr,
                     "needs a display and a session bus: run it under "
                     "xvfb-run -a dbus-run-session -- %s\n",
                     argv[0]);
        return 2;
    }
    // The bridge connects once the accessibility bus is there; nothing on a
    // bare session bus starts it.
    QProcess launcher;
    launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launcher.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
                   {QStringLiteral("--launch-immediately")});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    std::printf("websites=%d\n", websites);
    for (const bool on : {true, false}) {
        if (on) {
            environment.insert(QString::fromLatin1(alwaysOn), QStringLiteral("1"));
        } else {
            environment.remove(QString::fromLatin1(alwaysOn));
        }
        for (int run = 0; run < runs; ++run) {
            const QByteArray line = runChild(environment, websites);
            std::printf("bridge=%s %s\n", on ? "on " : "off",
                        line.isEmpty() ? "failed" : line.constData());
            std::fflush(stdout);
        }
    }
    launcher.terminate();
    launcher.waitForFinished(5000);
    return 0;
}
