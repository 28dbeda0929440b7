#include "platform/linux/LinuxDnsCacheFlusher.h"
#include "platform/linux/LinuxPrivilegedRunner.h"
#include "platform/macos/OsascriptRunner.h"

#include <QtTest>

// How the runners start their tools; what the outcomes mean for the hosts
// writer is covered with the writer itself.
class PrivilegedRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The flusher must cope with a machine without a system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tarnhollow-test-bus");
    }

    void arguments_data() {
        QTest::addColumn<bool>("pkexec"); // else osascript
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("pkexec") << true << "echo \"a\" 'b'"
                                << QByteArray("[SHELL][-c][echo \"a\" 'b']");
        QTest::newRow("osascript escapes double quotes only")
            << false << "echo \"a\\n\" 'b'"
            << QByteArray(
                   "[-e][do shell script \"echo \\\"a\\n\\\" 'b'\" with administrator privileges]");
    }
    void arguments() {
        QFETCH(bool, pkexec);
        QFETCH(QString, command);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString tool = dir.filePath("tool");
        QFile file(tool);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '[%s]' \"$@\"\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        std::unique_ptr<PrivilegedRunner> runner;
        if (pkexec)
            runner = std::make_unique<LinuxPrivilegedRunner>("SHELL", tool, false);
        else
            runner = std::make_unique<OsascriptRunner>(tool);
        const auto outcome = runner->run(command);
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, 0);
        QCOMPARE(outcome.value().output, expected);
    }

    void largeOutputDoesNotStall() {
        LinuxPrivilegedRunner runner("/bin/sh", QString(), true);
        const auto outcome = runner.run("head -c 2000000 /dev/zero; exit 5");
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.value().exitStatus, 5);
        QCOMPARE(outcome.value().output.size(), 2000000);
    }

    void missingToolIsPlatformError() {
        OsascriptRunner osascript("/nonexistent/osascript");
        LinuxPrivilegedRunner pkexec("/bin/sh", "/nonexistent/pkexec", false);
        for (PrivilegedRunner* runner :
             std::initializer_list<PrivilegedRunner*>{&osascript, &pkexec}) {
            const auto outcome = runner->run("true");
            QVERIFY(!outcome.ok());
            QVERIFY(!outcome.error().message.isEmpty());
        }
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
