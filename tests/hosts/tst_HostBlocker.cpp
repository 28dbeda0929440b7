#include "fakes/DirectShellRunner.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "platform/linux/LinuxPrivilegedRunner.h"
#include "platform/macos/OsascriptRunner.h"
#include "services/HostBlocker.h"

#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(1, 8, 26), Qt::UTC);
const QByteArray kHead = "# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-12-06 01:08:26 +0000\n";
const QString kRefused = "Website blocking requires administrator permission to write /etc/hosts.";

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A blocker on a hosts file in a temporary directory, copying with a plain
// unprivileged shell unless given another runner.
struct Fixture {
    QTemporaryDir dir;
    QString hostsPath = dir.filePath("hosts");
    QString staging;
    DirectShellRunner* shell = nullptr;
    NullDnsCacheFlusher* flusher = nullptr;
    std::unique_ptr<HostBlocker> blocker;

    explicit Fixture(const QByteArray& hosts, const QString& stagingName = "staging") {
        writeAll(hostsPath, hosts);
        // An absolute path is taken as it is, and never created.
        staging = stagingName.startsWith('/') ? stagingName : dir.filePath(stagingName);
        if (!stagingName.startsWith('/'))
            QDir().mkpath(staging);
        use(std::unique_ptr<PrivilegedRunner>(shell = new DirectShellRunner));
    }
    void use(std::unique_ptr<PrivilegedRunner> runner) {
        blocker = std::make_unique<HostBlocker>(
            HostBlockerOptions{hostsPath, staging, [] { return kNow; }}, std::move(runner),
            std::unique_ptr<DnsCacheFlusher>(flusher = new NullDnsCacheFlusher));
    }
    QByteArray hosts() const { return readAll(hostsPath); }
    // A shell script standing in for pkexec or osascript.
    QString fakeTool(const QByteArray& body) {
        const QString path = dir.filePath("tool");
        writeAll(path, "#!/bin/sh\n" + body + "\n");
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
};

} // namespace

class HostBlockerTest : public QObject {
    Q_OBJECT

private slots:
    void apply_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray n = "127.0.0.1 n.test\n127.0.0.1 www.n.test\n# Tarnhollow:END";
        QTest::newRow("after localhost")
            << QByteArray("127.0.0.1 localhost\n") << QStringList{"n.test"}
            << "127.0.0.1 localhost\n\n\n" + kHead + n;
        QTest::newRow("empty file") << QByteArray() << QStringList{"n.test"} << "\n\n" + kHead + n;
        QTest::newRow("no usable entries") << QByteArray("a") << QStringList{"   ", "ftp://x"}
                                           << "a\n\n" + kHead + "# Tarnhollow:END";
        QTest::newRow("one name for three entries, sorted")
            << QByteArray("a") << QStringList{"N.Test", "b.test", "n.test", "https://n.test/in"}
            << "a\n\n" + kHead + "127.0.0.1 b.test\n127.0.0.1 www.b.test\n" + n;
        QTest::newRow("earlier sections replaced")
            << QByteArray("a\n\n# Tarnhollow:BEGIN\n127.0.0.1 old.test\n# Tarnhollow:END\nb\n"
                          "# Tarnhollow:BEGIN\n127.0.0.1 older.test\n")
            << QStringList{"www.n.test"}
            << "a\nb\n\n" + kHead + "127.0.0.1 www.n.test\n# Tarnhollow:END";
    }
    void apply() {
        QFETCH(QByteArray, hosts);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, expected);
        Fixture f(hosts);
        const auto result = f.blocker->apply(entries);
        QVERIFY2(result.ok(), qPrintable(result.error().errorDescription().value_or("?")));
        QCOMPARE(f.hosts(), expected);
        // The staging copy is removed once it has been copied.
        QVERIFY(!QFileInfo::exists(f.blocker->temporaryFilePath()));
        QCOMPARE(f.flusher->calls(), 1);
    }

    void clearRestoresOriginal_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no final line feed") << QByteArray("127.0.0.1 localhost");
        QTest::newRow("CRLF") << QByteArray("127.0.0.1 localhost\r\n# note\r\n");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF# h\xC3\xB4te\n\tnas\n");
        QTest::newRow("blank lines with spaces") << QByteArray("a\n  \n\t\nb");
    }
    void clearRestoresOriginal() {
        QFETCH(QByteArray, hosts);
        Fixture f(hosts);
        for (int round = 0; round < 3; ++round)
            QVERIFY(f.blocker->apply({"a.test", "b.test"}).ok());
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(f.hosts(), hosts);
        // Without a section, clear still copies the same text back; no flush.
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(f.hosts(), hosts);
        QCOMPARE(f.shell->commands().size(), 5);
        QCOMPARE(f.flusher->calls(), 3);
    }

    void copyCommand_data() {
        QTest::addColumn<QString>("staging");
        QTest::addColumn<QString>("expected"); // D stands for the temporary directory
        QTest::newRow("plain path")
            << "staging"
            << "/bin/cp 'D/staging/tarnhollow-hosts' D/hosts && /bin/chmod 644 D/hosts";
        QTest::newRow("single quote")
            << "it's"
            << "/bin/cp 'D/it'\\''s/tarnhollow-hosts' D/hosts && /bin/chmod 644 D/hosts";
    }
    void copyCommand() {
        QFETCH(QString, staging);
        QFETCH(QString, expected);
        Fixture f("x\n", staging);
        QFile(f.hostsPath).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(f.shell->commands(), QStringList{expected.replace("D", f.dir.path())});
        QCOMPARE(f.hosts(), QByteArray("x\n"));
        // chmod 644 ran after the copy; owner, group and other bits only.
        QCOMPARE(int(QFile(f.hostsPath).permissions()) & 0x7077, 0x6044);
    }

    void failureLeavesHostsUntouched_data() {
        QTest::addColumn<QByteArray>("hosts"); // empty: the hosts path is a directory
        QTest::addColumn<QString>("staging");
        QTest::addColumn<QString>("descriptionPart");
        const auto row = [](const char* name, const QByteArray& hosts, const char* staging,
                            const char* part) {
            QTest::newRow(name) << hosts << QString(staging) << QString(part);
        };
        row("hosts missing", "-", "staging", "");
        row("hosts is a directory", "", "staging", "");
        row("hosts not UTF-8", "# h\xF4te\n", "staging", "UTF-8");
        row("staging directory missing", "a\n", "/nonexistent-tarnhollow/x", "");
    }
    void failureLeavesHostsUntouched() {
        QFETCH(QByteArray, hosts);
        QFETCH(QString, staging);
        QFETCH(QString, descriptionPart);
        Fixture f(hosts, staging);
        if (hosts == "-")
            QVERIFY(QFile::remove(f.hostsPath));
        if (hosts.isEmpty())
            QVERIFY(QFile::remove(f.hostsPath) && QDir().mkdir(f.hostsPath));
        const QByteArray before = f.hosts();
        for (bool applying : {true, false}) {
            const auto result = applying ? f.blocker->apply({"a.test"}) : f.blocker->clear();
            QVERIFY(!result.ok() && result.error().platformError());
            const QString description = result.error().errorDescription().value_or(QString());
            QVERIFY2(!description.isEmpty() && description.contains(descriptionPart),
                     qPrintable(description));
        }
        QCOMPARE(f.hosts(), before);
        QVERIFY(f.shell->commands().isEmpty());
        QCOMPARE(f.flusher->calls(), 0);
    }

    // The writer through the real runner code, with fake authentication tools.
    void runnerOutcome_data() {
        QTest::addColumn<bool>("pkexec"); // else osascript
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<QString>("description"); // empty: success
        const QString failed = "Failed to write /etc/hosts: ";
        // pkexec's own arguments are the shell, -c and the command: run them.
        QTest::newRow("authenticated") << true << QByteArray("echo noise; exec \"$@\"") << "";
        QTest::newRow("silent failure") << true << QByteArray("exit 1") << failed;
        QTest::newRow("output kept untrimmed")
            << true << QByteArray("echo ' cp: denied'; exit 1") << failed + " cp: denied\n";
        QTest::newRow("invalid UTF-8 output")
            << true << QByteArray("printf 'x\\377'; exit 2") << failed;
        QTest::newRow("crash") << true << QByteArray("echo a; kill -KILL $$") << failed + "a\n";
        QTest::newRow("pkexec dismissed")
            << true << QByteArray("echo dismissed; exit 126") << kRefused;
        QTest::newRow("pkexec not authorized")
            << true << QByteArray("echo 'Error: Not authorized'; exit 127") << kRefused;
        QTest::newRow("127 otherwise") << true << QByteArray("echo 'sh: cp: not found'; exit 127")
                                       << failed + "sh: cp: not found\n";
        QTest::newRow("osascript cancelled")
            << false << QByteArray("echo 'execution error: User canceled. (-128)'; exit 1")
            << kRefused;
        QTest::newRow("osascript failed")
            << false << QByteArray("echo 'execution error: boom (1)'; exit 1")
            << failed + "execution error: boom (1)\n";
    }
    void runnerOutcome() {
        QFETCH(bool, pkexec);
        QFETCH(QByteArray, tool);
        QFETCH(QString, description);
        Fixture f("a\n", "it's \"private\"");
        const QString program = f.fakeTool(tool);
        if (pkexec)
            f.use(std::make_unique<LinuxPrivilegedRunner>("/bin/sh", program, false));
        else
            f.use(std::make_unique<OsascriptRunner>(program));
        const auto result = f.blocker->apply({"a.test"});
        QCOMPARE(result.ok(), description.isEmpty());
        if (!result.ok())
            QCOMPARE(result.error().errorDescription().value_or(QString()), description);
        QCOMPARE(f.flusher->calls(), result.ok() ? 1 : 0);
        QCOMPARE(f.hosts().contains("127.0.0.1 www.a.test"), result.ok());
    }

    void runnerThatCannotStart() {
        Fixture f("a\n");
        f.shell->failToStartWith("execve: No such file or directory");
        const auto result = f.blocker->apply({"a.test"});
        QVERIFY(!result.ok() && result.error().platformError());
        QCOMPARE(*result.error().errorDescription(), "execve: No such file or directory");
        QCOMPARE(f.flusher->calls(), 0);
        // No copy of the hosts file is left behind after a failure either.
        QVERIFY(!QFileInfo::exists(f.blocker->temporaryFilePath()));
    }
};

QTEST_GUILESS_MAIN(HostBlockerTest)
#include "tst_HostBlocker.moc"
