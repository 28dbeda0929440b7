#include "fakes/FakeWorkspace.h"
#include "fakes/FileBytes.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "fakes/SteadyClock.h"
#include "platform/portable/OsascriptRunner.h"
#include "services/FocusSessionManager.h"

#include <QtTest>

#ifdef Q_OS_LINUX
#include "platform/linux/hosts/LinuxDnsCacheFlusher.h"
#include "platform/linux/hosts/LinuxPrivilegedRunner.h"
#endif

namespace {

// This platform's runner, with `tool` in place of pkexec or osascript.
std::unique_ptr<PrivilegedRunner> platformRunner(const QString& tool, const QString& hosts) {
#ifdef Q_OS_LINUX
    Q_UNUSED(hosts);
    return std::make_unique<LinuxPrivilegedRunner>("/usr/bin/true", tool, false);
#else
    return std::make_unique<OsascriptRunner>(hosts, QFileInfo(hosts).path(), tool);
#endif
}

} // namespace

// How the runners start their tools and that nobody waits on them; what the
// outcomes mean for the hosts writer is covered with the writer itself.
class PrivilegedRunnerTest : public QObject {
    Q_OBJECT

    static PrivilegedRunner::Outcome await(const std::function<void(PrivilegedRunner::Done)>& run) {
        std::optional<PrivilegedRunner::Outcome> outcome;
        run([&](PrivilegedRunner::Outcome o) { outcome = std::move(o); });
        (void)QTest::qWaitFor([&] { return outcome.has_value(); }, 20000);
        return outcome.value_or(HostBlockerError::platform("no answer"));
    }

private slots:
    void initTestCase() {
        // The flusher must cope with a machine without a system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tarnhollow-test-bus");
    }

    // The shell gets the command exactly: a backslash stays one.
    void osascriptEscapesBackslashesAndQuotes() {
        QCOMPARE(OsascriptRunner::script("echo \"a\\n\" 'b'"),
                 "do shell script \"echo \\\"a\\\\n\\\" 'b'\" with administrator privileges");
    }

    void missingToolIsPlatformError() {
        QTemporaryDir dir;
        const auto runner = platformRunner("/nonexistent/tool", dir.filePath("hosts"));
        const auto outcome = await([&](auto done) { runner->unblock(done); });
        QVERIFY(!outcome.ok());
        QVERIFY(!outcome.error().detail().isEmpty());
    }

#ifdef Q_OS_LINUX
    void flusherWithoutBusReturnsAtOnce() {
        LinuxDnsCacheFlusher flusher;
        QElapsedTimer timer;
        timer.start();
        flusher.flush();
        QVERIFY2(timer.elapsed() < 2000, "flushing must never hold up a session start");
    }
#endif

    // While the system asks for the password the event loop keeps turning,
    // and a click on Start or Stop starts nothing more.
    void windowStaysAliveDuringThePrompt() {
        QTemporaryDir dir;
        const QString hosts = dir.filePath("hosts"), log = dir.filePath("runs");
        QVERIFY(writeAll(hosts, "127.0.0.1 localhost\n"));
        const QString tool = dir.filePath("tool");
        QVERIFY(writeAll(tool, "#!/bin/sh\necho run >> '" + log.toUtf8() + "'\nsleep 1.5\n"));
        QFile(tool).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        FocusSessionManager manager(
            std::make_unique<FocusStore>(dir.filePath("config.json")),
            std::make_unique<HostBlocker>(HostBlockerOptions{hosts, {}},
                                          platformRunner(tool, hosts),
                                          std::make_unique<NullDnsCacheFlusher>()),
            std::make_unique<FakeWorkspace>(), std::chrono::seconds(1),
            {std::make_unique<SessionRecordStore>(dir.filePath("session.json"),
                                                  dir.filePath("autostart.desktop"), "/bin/true"),
             steadyClock()});
        manager.addWebsite("a.test");

        int turns = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, [&] { ++turns; });
        heartbeat.start(20);
        manager.start(25);
        QVERIFY(manager.isBusy());
        QTest::qWait(300);
        manager.start(30);
        manager.stop();
        QVERIFY(QTest::qWaitFor([&] { return !manager.isBusy(); }, 10000));
        QVERIFY2(turns >= 40, qPrintable(QString("the event loop turned %1 times").arg(turns)));
        QCOMPARE(manager.statusMessage(), QString("Focus session active."));
        QCOMPARE(manager.remainingSeconds(), 25 * 60);
        QCOMPARE(readAll(log), QByteArray("run\n"));
        manager.stop();
    }
};

QTEST_GUILESS_MAIN(PrivilegedRunnerTest)
#include "tst_PrivilegedRunner.moc"
