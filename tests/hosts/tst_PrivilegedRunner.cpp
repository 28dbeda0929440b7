#include "fakes/NullDnsCacheFlusher.h"
#include "platform/linux/LinuxDnsCacheFlusher.h"
#include "platform/linux/LinuxPrivilegedRunner.h"
#include "platform/macos/OsascriptRunner.h"
#include "services/HostBlocker.h"

#include <QtTest>

namespace {

// Writes an executable shell script standing in for a system tool.
QString fakeProgram(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class PrivilegedRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The flusher must cope with a machine without a system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tarnhollow-test-bus");
    }

    void pkexecOutcome_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("refused");

        QTest::newRow("success keeps output")
            << QByteArray("printf 'done\\n'") << 0 << QByteArray("done\n") << false;
        QTest::newRow("merged channels")
            << QByteArray("echo a; echo b >&2; exit 3") << 3 << QByteArray("a\nb\n") << false;
        QTest::newRow("dialog dismissed")
            << QByteArray("echo 'Error executing command as another user: Request dismissed'; "
                          "exit 126")
            << 126 << QByteArray("Error executing command as another user: Request dismissed\n")
            << true;
        QTest::newRow("not authorized")
            << QByteArray(
                   "echo 'Error executing command as another user: Not authorized'; exit 127")
            << 127 << QByteArray("Error executing command as another user: Not authorized\n")
            << true;
        QTest::newRow("127 for a missing command")
            << QByteArray("echo 'sh: 1: cp: not found'; exit 127") << 127
            << QByteArray("sh: 1: cp: not found\n") << false;
        QTest::newRow("crash is a failure")
            << QByteArray("kill -KILL $$") << -1 << QByteArray() << false;
    }
    void pkexecOutcome() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        LinuxPrivilegedRunner runner(QStringLiteral("/bin/sh"), fakeProgram(dir, "pkexec", body),
                                     false);
        const auto outcome = runner.run(QStringLiteral("true"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, status);
        QCOMPARE(outcome.value().output, output);
        QCOMPARE(outcome.value().authorizationRefused, refused);
    }

    void runnerArguments_data() {
        QTest::addColumn<bool>("linux");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("pkexec") << true << "echo \"a\" 'b'"
                                << QByteArray("[SHELL][-c][echo \"a\" 'b']");
        QTest::newRow("osascript escapes double quotes only")
            << false << "echo \"a\\n\" 'b'"
            << QByteArray("[-e][do shell script \"echo \\\"a\\n\\\" 'b'\" with administrator "
                          "privileges]");
    }
    void runnerArguments() {
        QFETCH(bool, linux);
        QFETCH(QString, command);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString fake = fakeProgram(dir, "fake", "printf '[%s]' \"$@\"");
        std::unique_ptr<PrivilegedRunner> runner;
        if (linux)
            runner = std::make_unique<LinuxPrivilegedRunner>(QStringLiteral("SHELL"), fake, false);
        else
            runner = std::make_unique<OsascriptRunner>(fake);
        const auto outcome = runner->run(command);
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, 0);
        QCOMPARE(outcome.value().output, expected);
    }

    void rootRunsShellDirectly() {
        LinuxPrivilegedRunner runner(QStringLiteral("/bin/sh"), QStringLiteral("/nonexistent"),
                                     true);
        // 126 from the command itself is no refusal when no pkexec is involved.
        const auto outcome = runner.run(QStringLiteral("printf 'x\\n' >&2; exit 126"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, 126);
        QCOMPARE(outcome.value().output, QByteArray("x\n"));
        QVERIFY(!outcome.value().authorizationRefused);
    }

    void largeOutputDoesNotStall() {
        LinuxPrivilegedRunner runner(QStringLiteral("/bin/sh"), QString(), true);
        const auto outcome = runner.run(QStringLiteral("head -c 2000000 /dev/zero; exit 5"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, 5);
        QCOMPARE(outcome.value().output.size(), 2000000);
    }

    void missingProgramIsPlatformError() {
        OsascriptRunner osascript(QStringLiteral("/nonexistent/osascript"));
        LinuxPrivilegedRunner pkexec(QStringLiteral("/bin/sh"),
                                     QStringLiteral("/nonexistent/pkexec"), false);
        for (PrivilegedRunner* runner : {static_cast<PrivilegedRunner*>(&osascript),
                                         static_cast<PrivilegedRunner*>(&pkexec)}) {
            const auto outcome = runner->run(QStringLiteral("true"));
            QVERIFY(!outcome.ok());
            QVERIFY(!outcome.error().message.isEmpty());
        }
    }

    // The whole writer through real runner code and fake authentication tools.
    void writerThroughRunner_data() {
        QTest::addColumn<bool>("linux");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description"); // empty: success

        // Runs the command it was given, as the real tool would after authentication.
        QTest::newRow("pkexec runs it") << true << QByteArray("exec \"$@\"") << "";
        QTest::newRow("pkexec dismissed")
            << true << QByteArray("echo 'Request dismissed'; exit 126")
            << "Website blocking requires administrator permission to write /etc/hosts.";
        QTest::newRow("copy fails") << true << QByteArray("echo 'cp: cannot create'; exit 1")
                                    << "Failed to write /etc/hosts: cp: cannot create\n";
        QTest::newRow("osascript cancelled")
            << false << QByteArray("echo '0:62: execution error: User canceled. (-128)'; exit 1")
            << "Website blocking requires administrator permission to write /etc/hosts.";
        QTest::newRow("osascript other error")
            << false << QByteArray("echo 'execution error: boom (1)'; exit 1")
            << "Failed to write /etc/hosts: execution error: boom (1)\n";
    }
    void writerThroughRunner() {
        QFETCH(bool, linux);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        QTemporaryDir dir;
        const QString staging = dir.filePath("it's \"private\"");
        QVERIFY(QDir().mkpath(staging));
        const QString hosts = dir.filePath("hosts");
        {
            QFile file(hosts);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("127.0.0.1 localhost\n");
        }
        const QString fake = fakeProgram(dir, "tool", body);
        std::unique_ptr<PrivilegedRunner> runner;
        if (linux)
            runner =
                std::make_unique<LinuxPrivilegedRunner>(QStringLiteral("/bin/sh"), fake, false);
        else
            runner = std::make_unique<OsascriptRunner>(fake);
        auto flusher = std::make_unique<NullDnsCacheFlusher>();
        auto* flushes = flusher.get();
        HostBlocker blocker({hosts, staging, [] { return QDateTime::currentDateTimeUtc(); }},
                            std::move(runner), std::move(flusher));

        const auto result = blocker.apply({"a.test"});
        QCOMPARE(result.ok(), description.isEmpty());
        if (!result.ok())
            QCOMPARE(result.error().errorDescription().value_or(QString()), description);
        QCOMPARE(flushes->calls(), result.ok() ? 1 : 0);
        QCOMPARE(readAll(hosts).contains("127.0.0.1 www.a.test"), result.ok());
    }

    void flusherWithoutBusReturnsAtOnce() {
        LinuxDnsCacheFlusher flusher;
        LinuxPrivilegedRunner unused;
        QElapsedTimer timer;
        timer.start();
        flusher.flush(unused);
        QVERIFY2(timer.elapsed() < 2000, "flushing must never hold up a session start");
    }
};

QTEST_GUILESS_MAIN(PrivilegedRunnerTest)
#include "tst_PrivilegedRunner.moc"
