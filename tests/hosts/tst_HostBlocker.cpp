#include "fakes/DirectShellRunner.h"
#include "fakes/FileBytes.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "platform/portable/OsascriptRunner.h"
#include "services/HostBlocker.h"

#include <QtTest>

#ifdef Q_OS_LINUX
#include "platform/linux/hosts/LinuxPrivilegedRunner.h"
#endif

#include <unistd.h>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(1, 8, 26), Qt::UTC);
const QByteArray kHead = "# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-12-06 01:08:26 +0000\n"
                         "# Tarnhollow:owner " +
                         QByteArray::number(::getuid()) + " until 2026-12-06T01:33:26Z\n";
const QString kRefused = "Website blocking requires administrator permission to write /etc/hosts.";

// A blocker on a hosts file in a temporary directory, copying with a plain
// unprivileged shell unless given another runner.
struct Fixture {
    QTemporaryDir dir;
    QString hostsPath = dir.filePath("hosts");
    QString staging;
    DirectShellRunner* shell = nullptr;
    NullDnsCacheFlusher* flusher = nullptr;
    std::unique_ptr<HostBlocker> blocker;
    uint user = ::getuid();

    explicit Fixture(const QByteArray& hosts, const QString& stagingName = "staging") {
        writeAll(hostsPath, hosts);
        // An absolute path is taken as it is, and never created; none: the default.
        const bool given = stagingName.isEmpty() || stagingName.startsWith('/');
        staging = given ? stagingName : dir.filePath(stagingName);
        if (!given)
            QDir().mkpath(staging);
        use(shellRunner());
    }
    // A shell runner that writes as the blocker's user, at the blocker's time.
    std::unique_ptr<PrivilegedRunner> shellRunner(const QString& afterBlock = {}) {
        return std::unique_ptr<PrivilegedRunner>(
            shell =
                new DirectShellRunner(hostsPath, staging, afterBlock, user, [] { return kNow; }));
    }
    void use(std::unique_ptr<PrivilegedRunner> runner) {
        blocker = std::make_unique<HostBlocker>(
            HostBlockerOptions{hostsPath, [] { return kNow; }, user}, std::move(runner),
            std::unique_ptr<DnsCacheFlusher>(flusher = new NullDnsCacheFlusher));
    }
    // The blocker as user `userId`, with a new shell runner.
    void runAs(uint userId) {
        user = userId;
        use(shellRunner());
    }
    // Waits for the outcome, as the controller's event loop would.
    template <typename Call> HostBlocker::RunResult await(Call call) {
        std::optional<HostBlocker::RunResult> result;
        call([&result](HostBlocker::RunResult r) { result = std::move(r); });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 10000))
            return HostBlockerError::platform("no answer");
        return *result;
    }
    HostBlocker::RunResult apply(const QStringList& entries) {
        return await([&](auto done) { blocker->apply(entries, std::chrono::minutes(25), done); });
    }
    HostBlocker::RunResult clear() {
        return await([&](auto done) { blocker->clear(done); });
    }
    QString stagingFile() const { return QDir(staging).filePath("tarnhollow-hosts"); }
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
        const QByteArray n =
            "127.0.0.1 n.test n.test.\n127.0.0.1 www.n.test www.n.test.\n# Tarnhollow:END\n";
        QTest::newRow("after localhost")
            << QByteArray("127.0.0.1 localhost\n") << QStringList{"n.test"}
            << "127.0.0.1 localhost\n\n\n" + kHead + n;
        QTest::newRow("empty file") << QByteArray() << QStringList{"n.test"} << "\n\n" + kHead + n;
        QTest::newRow("no usable entries") << QByteArray("a") << QStringList{"   ", "ftp://x"}
                                           << "a\n\n" + kHead + "# Tarnhollow:END\n";
        QTest::newRow("an over-long name left out")
            << QByteArray() << QStringList{QString(250, 'a') + ".test", "n.test"}
            << "\n\n" + kHead + n;
        QTest::newRow("one name for three entries, sorted")
            << QByteArray("a") << QStringList{"N.Test", "b.test", "n.test", "https://n.test/in"}
            << "a\n\n" + kHead + "127.0.0.1 b.test b.test.\n127.0.0.1 www.b.test www.b.test.\n" + n;
        QTest::newRow("earlier sections replaced")
            << QByteArray("a\n\n# Tarnhollow:BEGIN\n127.0.0.1 old.test\n# Tarnhollow:END\nb\n"
                          "# Tarnhollow:BEGIN\n127.0.0.1 older.test\n")
            << QStringList{"www.n.test"}
            << "a\nb\n127.0.0.1 older.test\n\n\n" + kHead +
                   "127.0.0.1 www.n.test www.n.test.\n# Tarnhollow:END\n";
        QTest::newRow("bytes that are not UTF-8 kept")
            << QByteArray("# h\xF4te\n") << QStringList{"n.test"} << "# h\xF4te\n\n\n" + kHead + n;
    }
    void apply() {
        QFETCH(QByteArray, hosts);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, expected);
        Fixture f(hosts);
        const auto result = f.apply(entries);
        QVERIFY2(result.ok(), qPrintable(result.ok() ? "" : *result.error().errorDescription()));
        QCOMPARE(f.hosts(), expected);
        // The staging copy is removed once it has been copied.
        QVERIFY(!QFileInfo::exists(f.stagingFile()));
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
            QVERIFY(f.apply({"a.test", "b.test"}).ok());
        QVERIFY(f.clear().ok());
        QCOMPARE(f.hosts(), hosts);
        // Without a section, clear writes nothing and so asks for nothing.
        QVERIFY(f.clear().ok());
        QCOMPARE(f.hosts(), hosts);
        QCOMPARE(f.shell->commands().size(), 4);
        QCOMPARE(f.flusher->calls(), 3);
    }

    // A user's clear takes sections of their own; one without owner and a
    // lone marker are an administrator's, so nothing is asked for them.
    void clearLeavesUnownedToRoot_data() {
        QTest::addColumn<uint>("user");
        QTest::addColumn<QByteArray>("hosts");
        QTest::addColumn<QByteArray>("after");
        const QByteArray unowned = "a\n\n# Tarnhollow:BEGIN\n127.0.0.1 o.test\n# Tarnhollow:END\n";
        const QByteArray own = "\n# Tarnhollow:BEGIN\n# Tarnhollow:owner 1000 until "
                               "2026-12-06T01:33:26Z\n127.0.0.1 n.test\n# Tarnhollow:END\n";
        const QByteArray loneEnd = "a\n# Tarnhollow:END\n";
        const QByteArray loneBegin = "a\n" + own.first(own.indexOf("127"));
        QTest::newRow("no owner") << 1000u << unowned << unowned;
        QTest::newRow("lone end marker") << 1000u << loneEnd << loneEnd;
        QTest::newRow("lone begin marker, own owner line") << 1000u << loneBegin << loneBegin;
        QTest::newRow("own beside one without owner") << 1000u << unowned + own << unowned;
        QTest::newRow("root takes all") << 0u << unowned + own << QByteArray("a\n");
    }
    void clearLeavesUnownedToRoot() {
        QFETCH(uint, user);
        QFETCH(QByteArray, hosts);
        QFETCH(QByteArray, after);
        Fixture f(hosts);
        f.runAs(user);
        QVERIFY(f.clear().ok());
        QCOMPARE(f.hosts(), after);
        QCOMPARE(f.shell->commands().size(), f.hosts() == hosts ? 0 : 1);
    }

    // The staging folder's name needs quoting.
    void copyCommand() {
        Fixture f("x\n", "it's");
        QFile(f.hostsPath).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(f.apply({"a.test"}).ok());
        QCOMPARE(f.shell->commands(),
                 QStringList{QString("/bin/cp '%1/it'\\''s/tarnhollow-hosts' %1/.hosts.new && "
                                     "/bin/chmod 644 %1/.hosts.new && /bin/mv -f %1/.hosts.new "
                                     "%1/hosts")
                                 .arg(f.dir.path())});
        QVERIFY(f.hosts().startsWith("x\n\n\n# Tarnhollow:BEGIN"));
        // chmod 644 ran before the rename; owner, group and other bits only.
        QCOMPARE(int(QFile(f.hostsPath).permissions()) & 0x7077, 0x6044);
        QVERIFY(!QFile::exists(f.dir.filePath(".hosts.new")));
    }

    // A block's follow-up (the DNS flush) shares the block's one privileged
    // run: it runs only once the file is in place, and its failure fails
    // nothing. A clear has none.
    void followUpSharesTheBlocksRun() {
        Fixture f("x\n");
        const QString mark = f.dir.filePath("flushed");
        f.use(f.shellRunner("touch " + mark + " && false"));
        QVERIFY(f.apply({"a.test"}).ok());
        QVERIFY(QFile::remove(mark));
        QVERIFY(f.clear().ok());
        QVERIFY(!QFile::exists(mark));
        // The rename fails (a folder cannot replace a file): no follow-up.
        QVERIFY(QDir(f.dir.path()).mkdir(".hosts.new"));
        QVERIFY(!f.apply({"a.test"}).ok());
        QVERIFY(!QFile::exists(mark));
        QCOMPARE(f.hosts(), QByteArray("x\n"));
        QCOMPARE(f.shell->commands().size(), 3);
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
        row("staging directory missing", "a\n# Tarnhollow:BEGIN\n", "/nonexistent-tarnhollow/x",
            "/nonexistent-tarnhollow/x/tarnhollow-hosts");
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
            const auto result = applying ? f.apply({"a.test"}) : f.clear();
            QVERIFY(!result.ok() && result.error().kind() == HostBlockerError::Kind::Platform);
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
        QTest::addColumn<QString>("runner"); // pkexec, osascript, or pkexec with an unsafe helper
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<QString>("description"); // empty: success
        const QString failed = "Failed to write /etc/hosts: ";
#ifdef Q_OS_LINUX
        const auto pkexec = [](const char* name, const char* tool, const QString& description) {
            QTest::newRow(name) << "pkexec" << QByteArray(tool) << description;
        };
        // pkexec's own arguments are the helper and its action: run them. What
        // it says on success is a note for the user.
        pkexec("authenticated, with a note", "echo note; exec \"$@\"", "");
        pkexec("helper, action and request", "printf '%s ' \"$@\"; cat; exit 1",
               failed + "/usr/bin/true block 1500\na.test\n");
        pkexec("invalid UTF-8 output", "printf 'x\\377'; exit 2", failed);
        pkexec("crash", "echo a; kill -KILL $$", failed + "a\n");
        pkexec("pkexec dismissed", "echo dismissed; exit 126", kRefused);
        pkexec("127 otherwise", "echo 'not found'; exit 127", failed + "not found\n");
        pkexec("old block without owner", "echo 'old block'; exit 3",
               "An old website block with no owner is in /etc/hosts, so Tarnhollow cannot block "
               "websites; an administrator can remove it.");
        QTest::newRow("helper anybody could replace")
            << "unsafe" << QByteArray("exec \"$@\"") << failed + "The hosts helper ";
#endif
        QTest::newRow("osascript cancelled")
            << "osascript" << QByteArray("echo 'execution error: User canceled. (-128)'; exit 1")
            << kRefused;
        QTest::newRow("osascript failed")
            << "osascript" << QByteArray("echo 'execution error: boom (1)'; exit 1")
            << failed + "execution error: boom (1)\n";
    }
    void runnerOutcome() {
        QFETCH(QString, runner);
        QFETCH(QByteArray, tool);
        QFETCH(QString, description);
        Fixture f("a\n", "it's \"private\"");
        const QString program = f.fakeTool(tool);
        if (runner == "osascript")
            f.use(std::make_unique<OsascriptRunner>(f.hostsPath, f.staging, program));
#ifdef Q_OS_LINUX
        else
            f.use(std::make_unique<LinuxPrivilegedRunner>(
                runner == "unsafe" ? program : "/usr/bin/true", program, false));
#endif
        const auto result = f.apply({"a.test"});
        QCOMPARE(result.ok(), description.isEmpty());
        if (result.ok())
            QCOMPARE(result.value().notes, "note");
        // Texts name the fixture's hosts file; the table reads as the system's.
        const QString actual =
            result.ok() ? QString()
                        : result.error().errorDescription()->replace(f.hostsPath, "/etc/hosts");
        if (runner == "unsafe")
            QVERIFY2(actual.startsWith(description) && actual.contains("not installed safely"),
                     qPrintable(actual));
        else
            QCOMPARE(actual, description);
        QCOMPARE(f.flusher->calls(), result.ok() ? 1 : 0);
        if (runner == "osascript")
            QCOMPARE(f.hosts().contains("127.0.0.1 www.a.test"), result.ok());
    }

#ifdef Q_OS_LINUX
    void removeUnownedRunsItsAction() {
        Fixture f("a\n# Tarnhollow:END\n");
        f.use(std::make_unique<LinuxPrivilegedRunner>(
            "/usr/bin/true", f.fakeTool("printf '%s ' \"$@\"; exit 1"), false));
        const auto result = f.await([&](auto done) { f.blocker->removeUnowned(done); });
        QCOMPARE(result.ok() ? QString() : result.error().detail(),
                 "/usr/bin/true remove-unowned ");
    }
#endif

    void runnerThatCannotStart() {
        Fixture f("a\n");
        f.shell->failToStartWith("execve: No such file or directory");
        const auto result = f.apply({"a.test"});
        QVERIFY(!result.ok() && result.error().kind() == HostBlockerError::Kind::Platform);
        QCOMPARE(*result.error().errorDescription(), "execve: No such file or directory");
        QCOMPARE(f.flusher->calls(), 0);
        // No copy of the hosts file is left behind after a failure either.
        QVERIFY(!QFileInfo::exists(f.stagingFile()));
    }
};

QTEST_GUILESS_MAIN(HostBlockerTest)
#include "tst_HostBlocker.moc"
