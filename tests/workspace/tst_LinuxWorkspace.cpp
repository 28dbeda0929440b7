#include "WorkspaceFixture.h"

#include "fakes/SkipOrFail.h"
#include "platform/linux/quit/ApplicationActionQuitter.h"
#include "platform/linux/quit/QuitRequester.h"
#include "platform/linux/x11/X11WindowDirectory.h"
#include "services/AppBlocker.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QtTest>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QList<RunningApplication> withId(const QList<RunningApplication>& apps, const QString& id) {
    QList<RunningApplication> out;
    for (const RunningApplication& app : apps) {
        if (app.identifier == id)
            out << app;
    }
    return out;
}

const QString never = "tarnhollow-never-installed";

Workspace::ObserverToken observe(Workspace& workspace, const QString& id,
                                 QList<RunningApplication>& launched) {
    return workspace.addLaunchObserver([&launched, id](const RunningApplication& a) {
        if (a.identifier == id)
            launched << a;
    });
}

// Plays the systemd user manager on the test bus: counts Subscribe calls.
class FakeSystemd : public QDBusVirtualObject {
public:
    int subscribes = 0;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "Subscribe")
            ++subscribes;
        connection.send(message.createReply());
        return true;
    }
};

// Owns an application's bus name and never answers.
class SilentOwner : public QDBusVirtualObject {
public:
    int asked = 0;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override {
        ++asked;
        return true;
    }
};

} // namespace

class LinuxWorkspaceTest : public QObject {
    Q_OBJECT

private:
    WorkspaceFixture m_fixture;
    QString m_noDisplay;
    QString m_noBus;

    WorkspaceFixture& fx() { return m_fixture; }

    QString listedId(const QString& tag, const QString& keys = QString()) {
        const QString id = WorkspaceFixture::uniqueId(tag);
        fx().writeApplicationEntry(id, never, keys);
        return id;
    }

private slots:
    void initTestCase() {
        m_noDisplay = fx().startDisplay();
        m_noBus = fx().startBus();
    }
    void cleanup() { fx().stopApps(); }

    void identifies_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("entryKeys"); // "-": no desktop entry
        QTest::addColumn<int>("expectedCount");
        QTest::addColumn<bool>("backgroundOnly");

        const auto row = [](const char* name, const char* kind, const char* keys, int count,
                            bool backgroundOnly) {
            QTest::newRow(name) << QString(kind) << QString(keys) << count << backgroundOnly;
        };
        row("launched with its desktop file", "gio", "", 1, false);
        row("launched, NoDisplay entry", "gio", "NoDisplay=true", 1, true);
        row("launched, no entry", "gio", "-", 1, true);
        row("inherited desktop file, other PID", "gio-other-pid", "", 0, false);
        row("matched by executable", "exe", "", 1, false);
        row("nothing identifies it", "none", "", 0, false);
        row("window class names the entry", "window", "StartupWMClass=@CLASS@", 1, false);
        row("same under a window manager", "window-wm", "StartupWMClass=@CLASS@", 1, false);
        row("environment wiped, window names the ID", "wiped", "", 1, false);
        row("program and window only resemble the ID", "resembling", "", 0, false);
        row("child of a listed terminal keeps its own", "child", "StartupWMClass=@CLASS@", 1,
            false);
    }
    void identifies() {
        QFETCH(QString, kind);
        QFETCH(QString, entryKeys);
        QFETCH(int, expectedCount);
        QFETCH(bool, backgroundOnly);
        const QString id = WorkspaceFixture::uniqueId("Id");
        const QString wmClass = "Class" + id.right(12);
        if (QStringList{"window", "window-wm", "wiped", "resembling", "child"}.contains(kind) &&
            !m_noDisplay.isEmpty())
            SKIP_OR_FAIL(m_noDisplay);
        if (const QString noWm = kind == "window-wm" ? fx().startWindowManager() : "";
            !noWm.isEmpty())
            SKIP_OR_FAIL(noWm);
        QString exec = never;
        if (kind == "exe")
            exec = fx().copyOfHelper("app-" + id);
        if (entryKeys != "-" && kind != "none")
            fx().writeApplicationEntry(id, exec, entryKeys.replace("@CLASS@", wmClass));
        if (kind == "child")
            fx().writeApplicationEntry(id + "Term", never, "StartupWMClass=Term" + wmClass);

        const auto start = [&] {
            const QStringList window{"--window", "--wm-class", wmClass};
            if (kind == "gio")
                return fx().startGioLaunched(id, {});
            if (kind == "gio-other-pid") {
                QProcessEnvironment env;
                env.insert("GIO_LAUNCHED_DESKTOP_FILE", fx().entryPath(id));
                env.insert("GIO_LAUNCHED_DESKTOP_FILE_PID", "1");
                return fx().start({}, env);
            }
            if (kind == "exe")
                return fx().start({}, {}, exec);
            if (kind == "window" || kind == "window-wm")
                return fx().start(window);
            if (kind == "wiped")
                return fx().startGioLaunched(
                    id, {"--clobber-environ", "--window", "--wm-class", id.toUpper()});
            if (kind == "resembling")
                return fx().start({"--window", "--wm-class", id.toLower() + "-helper"}, {},
                                  fx().copyOfHelper(id.toLower() + "-helper"));
            if (kind == "child")
                return fx().start(
                    {"--window", "--wm-class", "Term" + wmClass, "--child-window", wmClass});
            return fx().start({});
        };
        // At launch, then at Start with a fresh workspace.
        const auto watching = fx().makeWorkspace();
        QList<RunningApplication> launched;
        const auto token = observe(*watching, id, launched);
        const FakeApp app = start();
        QVERIFY2(app.pid > 0, "helper did not start");
        QVERIFY(app.waitForEvent("ready", kind == "child" ? 2 : 1));
        // The child reports ready with its own PID.
        qint64 pid = app.pid;
        for (const Report& ready : app.reports("ready"))
            pid = kind == "child" && ready.pid != app.pid ? ready.pid : pid;
        QTRY_COMPARE_WITH_TIMEOUT(launched.size(), expectedCount, 5000);
        QTest::qWait(expectedCount == 0 ? 500 : 0);
        QCOMPARE(launched.size(), expectedCount);
        watching->removeLaunchObserver(token);
        const auto workspace = fx().makeWorkspace();
        const QList<RunningApplication> found = withId(workspace->runningApplications(), id);
        QCOMPARE(found.size(), expectedCount);
        if (expectedCount == 1) {
            QCOMPARE(launched.first().pid, pid);
            QCOMPARE(found.first().pid, pid);
            QCOMPARE(found.first().activationPolicy == ActivationPolicy::Prohibited,
                     backgroundOnly);
        }
        // A second, cached sweep sees the same.
        QCOMPARE(withId(workspace->runningApplications(), id).size(), expectedCount);
    }

    // An application installed while the workspace runs is known once its
    // entry has been read, on the thread pool.
    void entryInstalledLaterIsFound() {
        const QString id = WorkspaceFixture::uniqueId("Later");
        const QString exec = fx().copyOfHelper("app-" + id);
        const auto workspace = fx().makeWorkspace();
        const FakeApp app = fx().start({}, {}, exec);
        QVERIFY(withId(workspace->runningApplications(), id).isEmpty());
        fx().writeApplicationEntry(id, exec);
        QTRY_COMPARE_WITH_TIMEOUT(withId(workspace->runningApplications(), id).size(), 1, 5000);
    }

    void quitChannels_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expectedEvent");
        QTest::addColumn<bool>("keepsRunning");

        const auto row = [](const char* name, const char* args, const char* event, bool keeps) {
            QTest::newRow(name) << QString(args).split(' ', Qt::SkipEmptyParts) << QString(event)
                                << keeps;
        };
        row("quit action", "--bus-name @ID@", "quit-action", false);
        row("quit action declined", "--bus-name @ID@ --decline --window", "quit-action-declined",
            true);
        row("no quit action: window", "--bus-name @ID@ --no-quit-action --window", "wm-delete",
            false);
        row("quit disabled: window", "--bus-name @ID@ --quit-disabled --window", "wm-delete",
            false);
        row("window", "--window", "wm-delete", false);
        row("window ignores close", "--window --ignore-delete", "wm-delete-ignored", true);
        row("window without the protocol", "--window --no-delete-protocol", "sigterm", false);
        row("nothing else: SIGTERM", "", "sigterm", false);
        // Children would report "sigterm-child"; they only die with their parent.
        row("three processes: SIGTERM to the top one", "--children 2", "sigterm", false);
        row("SIGTERM ignored", "--ignore-term", "sigterm-ignored", true);
    }
    void quitChannels() {
        QFETCH(QStringList, args);
        QFETCH(QString, expectedEvent);
        QFETCH(bool, keepsRunning);
        if (args.contains("--window") && !m_noDisplay.isEmpty())
            SKIP_OR_FAIL(m_noDisplay);
        if (args.contains("--bus-name") && !m_noBus.isEmpty())
            SKIP_OR_FAIL(m_noBus);
        const QString id = WorkspaceFixture::uniqueId("Quit");
        args.replaceInStrings("@ID@", id);
        // With children, matched by executable: all three are the application.
        const bool byExe = args.contains("--children");
        const QString exec = byExe ? fx().copyOfHelper("q-" + id) : never;
        fx().writeApplicationEntry(id, exec);
        const FakeApp app = byExe ? fx().start(args, {}, exec) : fx().startGioLaunched(id, args);
        QVERIFY2(app.pid > 0, "helper did not start");

        const auto workspace = fx().makeWorkspace();
        const QList<RunningApplication> found = withId(workspace->runningApplications(), id);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().pid, app.pid);
        QVERIFY(workspace->terminate(found.first()));
        QVERIFY2(app.waitForEvent(expectedEvent), qPrintable(app.events().join(u',')));
        QTest::qWait(100);
        // One request, through one channel only.
        QCOMPARE(app.events(), (QStringList{"ready", expectedEvent}));
        if (!keepsRunning)
            QTRY_VERIFY_WITH_TIMEOUT(!app.isRunning(), 2000);
        QCOMPARE(app.isRunning(), keepsRunning);
    }

    void silentOwner_data() {
        QTest::addColumn<bool>("stillCurrent");
        QTest::newRow("still the same process: the next channel") << true;
        QTest::newRow("replaced meanwhile: nothing sent") << false;
    }
    // The owner answers from this thread: a request that waited for it
    // would time out first, and hold up the caller meanwhile. A time-out
    // says nothing about the quit action, so the next request asks again.
    void silentOwner() {
        QFETCH(bool, stillCurrent);
        if (!m_noBus.isEmpty())
            SKIP_OR_FAIL(m_noBus);
        const QString id = listedId("Silent");
        const QString connectionName = "tarnhollow-silent-owner";
        QDBusConnection bus = QDBusConnection::connectToBus(fx().busAddress(), connectionName);
        SilentOwner owner;
        QVERIFY(bus.registerVirtualObject(ApplicationActionQuitter::objectPath(id), &owner));
        QVERIFY(bus.registerService(id));
        const FakeApp app = fx().start({});
        QVERIFY(app.pid > 0);
        X11WindowDirectory windows(fx().workspaceEnvironment().value("DISPLAY").toLocal8Bit());
        QuitRequester requester(
            QDBusConnection::connectToBus(fx().busAddress(), "tarnhollow-quit-asker"), windows);
        for (int asked = 1; asked <= 2; ++asked) {
            QElapsedTimer timer;
            timer.start();
            // By the second answer the process counts as changed: a PID that
            // may be reused by now gets nothing.
            QVERIFY(requester.requestQuit(id, app.pid, {app.pid},
                                          [=] { return stillCurrent && asked == 1; }));
            QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
            QTRY_COMPARE(owner.asked, asked);
            // After the time-out, the next channel, if the process is still the same.
            QCOMPARE(app.waitForEvent("sigterm", 1, 1000), stillCurrent);
        }
        bus.unregisterService(id);
        bus.unregisterObject(ApplicationActionQuitter::objectPath(id));
        QDBusConnection::disconnectFromBus(connectionName);
    }

    void neverStartsAnApplication() {
        if (!m_noBus.isEmpty())
            SKIP_OR_FAIL(m_noBus);
        const QString id = listedId("Activatable");
        const QString activated = fx().dir() + "/activated.log";
        QFile service(fx().dir() + "/services/" + id + ".service");
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(
            QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2 --report %3 --bus-name %1\n")
                .arg(id, fx().helper(), activated)
                .toUtf8());
        service.close();
        const FakeApp app = fx().startGioLaunched(id, {});
        QVERIFY(app.pid > 0);

        const auto workspace = fx().makeWorkspace();
        const QList<RunningApplication> found = withId(workspace->runningApplications(), id);
        QCOMPARE(found.size(), 1);
        QVERIFY(workspace->terminate(found.first()));
        QVERIFY(app.waitForEvent("sigterm"));
        QTest::qWait(300);
        QVERIFY2(!QFile::exists(activated), "the bus started the application");
    }

    void foreignAndStaleProcessesUntouched() {
        if (geteuid() != 0)
            SKIP_OR_FAIL("needs root to start a process as another user");
        const QString id = listedId("Foreign");
        QProcess other;
        QProcessEnvironment env;
        env.insert("GIO_LAUNCHED_DESKTOP_FILE", fx().entryPath(id));
        other.setProcessEnvironment(env);
        other.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(7);
        });
        other.start(fx().helper(), {"--report", "/dev/null"});
        QVERIFY(other.waitForStarted());
        QTest::qWait(200);
        const auto workspace = fx().makeWorkspace();
        QVERIFY(withId(workspace->runningApplications(), id).isEmpty());
        QVERIFY(!workspace->terminate({id, ActivationPolicy::Regular, other.processId()}));
        // A PID whose process is not the one scanned is refused too.
        QVERIFY(!workspace->terminate({id, ActivationPolicy::Regular, qint64(getpid())}));
        QVERIFY(!other.waitForFinished(300));
        other.kill();
        other.waitForFinished();
    }

    void launches_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("expectedLaunches");
        QTest::newRow("launcher execs it later") << "delayed-exec" << 1;
        QTest::newRow("execs later, no process created") << "exec-after" << 1;
        QTest::newRow("three processes, one launch") << "exe-children" << 1;
        QTest::newRow("running before observing") << "before" << 0;
        QTest::newRow("after the observer left") << "after-removal" << 0;
    }
    void launches() {
        QFETCH(QString, how);
        QFETCH(int, expectedLaunches);
        const QString id = WorkspaceFixture::uniqueId("Launch");
        const QString exec = fx().copyOfHelper("launch-" + id);
        fx().writeApplicationEntry(id, how == "exe-children" ? exec : never);
        const auto workspace = fx().makeWorkspace();

        FakeApp app;
        if (how == "before")
            app = fx().startGioLaunched(id, {});
        QList<RunningApplication> launched;
        const auto token = observe(*workspace, id, launched);
        if (how == "after-removal") {
            workspace->removeLaunchObserver(token);
            app = fx().startGioLaunched(id, {});
        } else if (how == "exe-children") {
            app = fx().start({"--children", "2"}, {}, exec);
        } else if (how == "delayed-exec") {
            // The launcher runs a while as itself, then becomes the application.
            app = fx().startGioLaunched(id, {}, true, "sleep 0.3");
        } else if (how == "exec-after") {
            QProcessEnvironment env;
            env.insert("GIO_LAUNCHED_DESKTOP_FILE", fx().entryPath(id));
            app = fx().start({"--exec-after", "300"}, env);
        }
        QTest::qWait(how.contains("exec") ? 800 : 400);
        QCOMPARE(launched.size(), expectedLaunches);
        if (expectedLaunches == 1)
            QCOMPARE(launched.first().pid, app.pid);
        workspace->removeLaunchObserver(token);
    }

    void unitScansAtOnce_data() {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QString>("launcher");
        QTest::newRow("new unit") << "UnitNew"
                                  << "";
        QTest::newRow("start job done") << "JobRemoved"
                                        << "";
        QTest::newRow("new unit, exec 0.3 s later") << "UnitNew"
                                                    << "sleep 0.3";
    }
    void unitScansAtOnce() {
        QFETCH(QString, signal);
        QFETCH(QString, launcher);
        if (!m_noBus.isEmpty())
            SKIP_OR_FAIL(m_noBus);
        const QString managerName = "tarnhollow-fake-systemd";
        QDBusConnection manager = QDBusConnection::connectToBus(fx().busAddress(), managerName);
        FakeSystemd systemd;
        QVERIFY(manager.registerVirtualObject("/org/freedesktop/systemd1", &systemd));
        QVERIFY(manager.registerService("org.freedesktop.systemd1"));
        const auto announce = [&](const QString& unit) {
            QDBusMessage message = QDBusMessage::createSignal(
                "/org/freedesktop/systemd1", "org.freedesktop.systemd1.Manager", signal);
            const QDBusObjectPath path("/org/freedesktop/systemd1/unit/u");
            if (signal == "UnitNew")
                message << unit << QVariant::fromValue(path);
            else
                message << 7u << QVariant::fromValue(path) << unit << "done";
            QVERIFY(manager.send(message));
        };

        const QString id = listedId("Unit");
        // Timed scans are far apart here: only the signal can be quick.
        const auto workspace = fx().makeWorkspace(std::chrono::seconds(30));
        QList<RunningApplication> launched;
        const auto token = observe(*workspace, id, launched);
        QTRY_COMPARE(systemd.subscribes, 1);
        const FakeApp app = fx().startGioLaunched(id, {}, launcher.isEmpty(), launcher);
        QVERIFY(app.pid > 0);
        announce("session-7.scope");
        QTest::qWait(150);
        QCOMPARE(launched.size(), 0);
        announce(QStringLiteral("app-gnome-%1-77.scope").arg(id));
        QTRY_COMPARE_WITH_TIMEOUT(launched.size(), 1, 1000);
        QCOMPARE(launched.first().pid, app.pid);
        announce(QStringLiteral("app-gnome-%1-77.scope").arg(id));
        QTest::qWait(100);
        QCOMPARE(launched.size(), 1); // each launch once
        workspace->removeLaunchObserver(token);
        manager.unregisterObject("/org/freedesktop/systemd1");
        QDBusConnection::disconnectFromBus(managerName);
    }

    void unreachableDisplayAndBusFailSoft() {
        const QString id = listedId("Soft");
        const FakeApp app = fx().startGioLaunched(id, {});
        QVERIFY(app.pid > 0);
        LinuxWorkspace::Options options;
        options.environment = fx().workspaceEnvironment();
        options.environment.insert("DISPLAY", ":31999");
        LinuxWorkspace workspace(options, QDBusConnection("tarnhollow-not-connected"));
        const QList<RunningApplication> found = withId(workspace.runningApplications(), id);
        QCOMPARE(found.size(), 1);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(workspace.terminate(found.first()));
        QVERIFY(timer.elapsed() < 500);
        QVERIFY(app.waitForEvent("sigterm"));
    }

    // AppBlocker against this workspace and real helper processes; nothing
    // but the new window tells of the launch.
    void launchedAppAskedQuickly() {
        if (!m_noDisplay.isEmpty())
            SKIP_OR_FAIL(m_noDisplay);
        const QString id = listedId("Launched");
        const auto workspace = fx().makeWorkspace(std::chrono::seconds(30));
        // Listed with other spacing and case: matching ignores both.
        AppBlocker blocker({" " + id.toUpper() + "\n"}, *workspace);
        blocker.start();
        QTest::qWait(50);
        const double launchedAt = steadyNowMs();
        const FakeApp app = fx().startGioLaunched(id, {"--window"}, false);
        QVERIFY(app.waitForEvent("wm-delete", 1, 2000));
        const double latency = app.reports("wm-delete").first().ms - launchedAt;
        qInfo("launch to quit request: %.1f ms", latency);
        QVERIFY2(latency <= 250, qPrintable(QString::number(latency)));
        blocker.stop();
    }

    void decliningAppAskedEverySweep() {
        if (!m_noBus.isEmpty())
            SKIP_OR_FAIL(m_noBus);
        const QString id = listedId("Declining");
        const FakeApp app = fx().startGioLaunched(id, {"--bus-name", id, "--decline"});
        QVERIFY(app.pid > 0);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace); // the real 2 s sweep
        blocker.start();
        QVERIFY(app.waitForEvent("quit-action-declined", 2, 3000));
        const QList<Report> asked = app.reports("quit-action-declined");
        const double gap = asked[1].ms - asked[0].ms;
        QVERIFY2(gap > 1800 && gap < 2400, qPrintable(QString::number(gap)));
        // Asked the same polite way again: never anything stronger.
        QVERIFY(!app.events().contains("sigterm"));
        blocker.stop();
    }

    void nothingAskedAfterStop() {
        const QString id = listedId("Stopped");
        const FakeApp running = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(running.pid > 0);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace, 150ms);
        blocker.start();
        QVERIFY(running.waitForEvent("sigterm-ignored"));
        blocker.stop();
        const FakeApp launched = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(launched.pid > 0);
        QTest::qWait(500);
        QCOMPARE(running.events().count("sigterm-ignored"), 1);
        QCOMPARE(launched.events(), QStringList{"ready"});
    }

    void unlistedAppsNeverTouched() {
        const QString listed = listedId("Listed");
        const QString unlisted = listedId("Unlisted");
        QStringList args{"--ignore-term"};
        if (m_noDisplay.isEmpty())
            args << "--window"
                 << "--ignore-delete";
        const FakeApp before = fx().startGioLaunched(unlisted, args);
        const FakeApp control = fx().startGioLaunched(listed, {"--ignore-term"});
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({listed}, *workspace, 150ms);
        blocker.start();
        const FakeApp during = fx().startGioLaunched(unlisted, args);
        QTest::qWait(600);
        blocker.stop();
        QVERIFY(control.events().count("sigterm-ignored") >= 3);
        QCOMPARE(before.events(), QStringList{"ready"});
        QCOMPARE(during.events(), QStringList{"ready"});
    }
};

QTEST_GUILESS_MAIN(LinuxWorkspaceTest)
#include "tst_LinuxWorkspace.moc"
