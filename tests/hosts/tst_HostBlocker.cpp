#include "services/HostBlocker.h"
#include "fakes/DirectShellRunner.h"
#include "fakes/NullDnsCacheFlusher.h"

#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(1, 8, 26), Qt::UTC);
const QByteArray kSectionHead =
    "# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-12-06 01:08:26 +0000\n";

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A blocker on a hosts file in a temporary directory, copied with a plain
// unprivileged shell.
struct Fixture {
    QTemporaryDir dir;
    QString hostsPath = dir.filePath(QStringLiteral("hosts"));
    QString stagingDir = dir.filePath(QStringLiteral("staging"));
    DirectShellRunner* runner = nullptr;
    NullDnsCacheFlusher* flusher = nullptr;
    std::unique_ptr<HostBlocker> blocker;

    explicit Fixture(const QByteArray& hosts, QString staging = {}) {
        QDir().mkpath(stagingDir);
        if (!staging.isNull())
            stagingDir = staging;
        writeAll(hostsPath, hosts);
        auto ownedRunner = std::make_unique<DirectShellRunner>();
        auto ownedFlusher = std::make_unique<NullDnsCacheFlusher>();
        runner = ownedRunner.get();
        flusher = ownedFlusher.get();
        blocker = std::make_unique<HostBlocker>(
            HostBlockerOptions{hostsPath, stagingDir, [] { return kNow; }}, std::move(ownedRunner),
            std::move(ownedFlusher));
    }
    QByteArray hosts() const { return readAll(hostsPath); }
};

} // namespace

class HostBlockerTest : public QObject {
    Q_OBJECT

private slots:
    void applyWritesSection_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("after localhost")
            << QByteArray("127.0.0.1 localhost\n") << QStringList{"n.test"}
            << "127.0.0.1 localhost\n\n\n" + kSectionHead +
                   "127.0.0.1 n.test\n127.0.0.1 www.n.test\n# Tarnhollow:END";
        QTest::newRow("empty file")
            << QByteArray() << QStringList{"n.test"}
            << "\n\n" + kSectionHead + "127.0.0.1 n.test\n127.0.0.1 www.n.test\n# Tarnhollow:END";
        QTest::newRow("no usable entries") << QByteArray("a") << QStringList{"   ", "ftp://x"}
                                           << "a\n\n" + kSectionHead + "# Tarnhollow:END";
        QTest::newRow("one name for three entries, sorted")
            << QByteArray("a")
            << QStringList{"Mail.Test", "b.test", "mail.test", "https://mail.test/inbox"}
            << "a\n\n" + kSectionHead +
                   "127.0.0.1 b.test\n127.0.0.1 www.b.test\n127.0.0.1 mail.test\n"
                   "127.0.0.1 www.mail.test\n# Tarnhollow:END";
        QTest::newRow("earlier sections replaced")
            << QByteArray("a\n\n# Tarnhollow:BEGIN\n127.0.0.1 old.test\n# Tarnhollow:END\nb\n"
                          "# Tarnhollow:BEGIN\n127.0.0.1 older.test\n")
            << QStringList{"www.n.test"}
            << "a\nb\n\n" + kSectionHead + "127.0.0.1 www.n.test\n# Tarnhollow:END";
    }
    void applyWritesSection() {
        QFETCH(QByteArray, hosts);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, expected);
        Fixture f(hosts);

        const auto result = f.blocker->apply(entries);
        QVERIFY2(result.ok(), qPrintable(result.error().errorDescription().value_or("?")));
        QCOMPARE(f.hosts(), expected);
        QCOMPARE(readAll(f.blocker->temporaryFilePath()), expected);
        QCOMPARE(f.runner->commands().size(), 1);
        QCOMPARE(f.flusher->calls(), 1);
    }

    void clearRestoresOriginal_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("final line feed") << QByteArray("127.0.0.1 localhost\n::1 localhost\n");
        QTest::newRow("no final line feed") << QByteArray("127.0.0.1 localhost");
        QTest::newRow("trailing empty lines") << QByteArray("a\n\n\n");
        QTest::newRow("only line feeds") << QByteArray("\n\n");
        QTest::newRow("CRLF") << QByteArray("127.0.0.1 localhost\r\n# note\r\n");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF"
                                                       "127.0.0.1 localhost\n");
        QTest::newRow("unicode comment") << QByteArray("# h\xC3\xB4te\n\t10.0.0.1  nas\n");
        QTest::newRow("blank lines with spaces") << QByteArray("a\n  \n\t\nb");
    }
    void clearRestoresOriginal() {
        QFETCH(QByteArray, hosts);
        Fixture f(hosts);

        for (int round = 0; round < 3; ++round) {
            QVERIFY(f.blocker->apply({"a.test", "b.test"}).ok());
            QVERIFY(f.hosts().endsWith("# Tarnhollow:END"));
        }
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(f.hosts(), hosts);
        // Without a section, clear still copies the same text back; no flush.
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(f.hosts(), hosts);
        QCOMPARE(f.runner->commands().size(), 5);
        QCOMPARE(f.flusher->calls(), 3);
    }

    void copyCommand_data() {
        QTest::addColumn<QString>("stagingName");
        QTest::addColumn<QString>("hostsName");
        QTest::addColumn<QString>("expected"); // DIR stands for the temporary directory

        QTest::newRow("plain paths")
            << "staging"
            << "hosts"
            << "/bin/cp 'DIR/staging/tarnhollow-hosts' DIR/hosts && /bin/chmod 644 DIR/hosts";
        QTest::newRow("single quote in staging directory")
            << "it's"
            << "hosts"
            << "/bin/cp 'DIR/it'\\''s/tarnhollow-hosts' DIR/hosts && /bin/chmod 644 DIR/hosts";
        QTest::newRow("hosts path needing quotes")
            << "staging"
            << "my hosts"
            << "/bin/cp 'DIR/staging/tarnhollow-hosts' 'DIR/my hosts' && "
               "/bin/chmod 644 'DIR/my hosts'";
    }
    void copyCommand() {
        QFETCH(QString, stagingName);
        QFETCH(QString, hostsName);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(stagingName));
        const QString hosts = dir.filePath(hostsName);
        writeAll(hosts, "x\n");
        QFile(hosts).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        auto runner = std::make_unique<DirectShellRunner>();
        auto* commands = runner.get();
        HostBlocker blocker({hosts, dir.filePath(stagingName), [] { return kNow; }},
                            std::move(runner), std::make_unique<NullDnsCacheFlusher>());

        QVERIFY(blocker.clear().ok());
        QCOMPARE(commands->commands(), QStringList{expected.replace("DIR", dir.path())});
        QCOMPARE(readAll(hosts), QByteArray("x\n"));
        // chmod 644 ran after the copy; owner, group and other bits only.
        QCOMPARE(int(QFile(hosts).permissions()) & 0x7077, 0x6044);
    }

    void failureLeavesHostsUntouched_data() {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("descriptionPart");
        QTest::newRow("hosts missing") << "missing"
                                       << "";
        QTest::newRow("hosts is a directory") << "directory"
                                              << "";
        QTest::newRow("hosts not UTF-8") << "latin1"
                                         << "not valid UTF-8";
        QTest::newRow("staging directory missing") << "no staging"
                                                   << "";
        QTest::newRow("staging under a file") << "staging under file"
                                              << "";
    }
    void failureLeavesHostsUntouched() {
        QFETCH(QString, problem);
        QFETCH(QString, descriptionPart);
        const QByteArray original = problem == "latin1" ? "# h\xF4te\n" : "127.0.0.1 localhost\n";
        QTemporaryDir scratch;
        QString staging;
        if (problem == "no staging")
            staging = scratch.filePath("absent");
        if (problem == "staging under file") {
            writeAll(scratch.filePath("file"), "");
            staging = scratch.filePath("file/sub");
        }
        Fixture f(original, staging);
        if (problem == "missing")
            QVERIFY(QFile::remove(f.hostsPath));
        if (problem == "directory")
            QVERIFY(QFile::remove(f.hostsPath) && QDir().mkdir(f.hostsPath));
        const QByteArray before = f.hosts();

        for (bool applying : {true, false}) {
            const auto result = applying ? f.blocker->apply({"a.test"}) : f.blocker->clear();
            QVERIFY(!result.ok());
            QVERIFY(result.error().platformError());
            const QString description = result.error().errorDescription().value_or(QString());
            QVERIFY2(!description.isEmpty(), "a platform error carries its text");
            QVERIFY2(description.contains(descriptionPart), qPrintable(description));
        }
        QCOMPARE(f.hosts(), before);
        QVERIFY(f.runner->commands().isEmpty());
        QCOMPARE(f.flusher->calls(), 0);
    }

    void runnerOutcome_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("description"); // empty: success

        QTest::newRow("status 0 with noise") << 0 << QByteArray("warning\n") << false << "";
        QTest::newRow("status 0 beats refused flag") << 0 << QByteArray() << true << "";
        QTest::newRow("silent failure")
            << 1 << QByteArray() << false << "Failed to write /etc/hosts: ";
        QTest::newRow("output untrimmed") << 1 << QByteArray("  cp: denied\n") << false
                                          << "Failed to write /etc/hosts:   cp: denied\n";
        QTest::newRow("invalid UTF-8 output")
            << 2 << QByteArray("bad \xFF\xFE") << false << "Failed to write /etc/hosts: ";
        QTest::newRow("refused") << 126 << QByteArray("dismissed") << true
                                 << "Website blocking requires administrator permission to write "
                                    "/etc/hosts.";
    }
    void runnerOutcome() {
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(bool, refused);
        QFETCH(QString, description);
        for (bool applying : {true, false}) {
            Fixture f("a\n");
            f.runner->failWith(status, output, refused);
            const auto result = applying ? f.blocker->apply({"a.test"}) : f.blocker->clear();
            QCOMPARE(result.ok(), description.isEmpty());
            if (!result.ok()) {
                QVERIFY(result.error().hostBlockerError());
                QCOMPARE(result.error().errorDescription().value_or(QString()), description);
            }
            // A flush follows only a successful apply.
            QCOMPARE(f.flusher->calls(), applying && result.ok() ? 1 : 0);
        }
    }

    void runnerThatCannotStart() {
        Fixture f("a\n");
        f.runner->failToStartWith(QStringLiteral("execve: No such file or directory"));
        const auto result = f.blocker->apply({"a.test"});
        QVERIFY(!result.ok());
        QVERIFY(result.error().platformError());
        QCOMPARE(*result.error().errorDescription(), "execve: No such file or directory");
        QCOMPARE(f.flusher->calls(), 0);
        // The staging file stays behind; the next write replaces it.
        QVERIFY(QFile::exists(f.blocker->temporaryFilePath()));
        f.runner->succeed();
        QVERIFY(f.blocker->clear().ok());
        QCOMPARE(readAll(f.blocker->temporaryFilePath()), QByteArray("a\n"));
    }
};

QTEST_GUILESS_MAIN(HostBlockerTest)
#include "tst_HostBlocker.moc"
