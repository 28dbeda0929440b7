#include "fakes/DirectShellRunner.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/FileBytes.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "fakes/SkipOrFail.h"
#include "fakes/SteadyClock.h"
#include "services/FocusSessionManager.h"

#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QByteArray kHosts = "127.0.0.1 localhost\n::1 localhost ip6-localhost\n";
const QByteArray kConfig = R"({"websites":["a.test","b.test"],"appBundleIds":[]})";

bool mountTmpfs(const QString& path) {
    return ::mount("tarnhollow-full", QFile::encodeName(path).constData(), "tmpfs", 0,
                   "size=16k") == 0;
}

// Writes until the file system refuses another byte.
bool fill(const QString& directory) {
    QFile filler(directory + "/filler");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) > 0) {
    }
    return filler.write("x", 1) <= 0;
}

} // namespace

// Real full file systems under the staging file, the lists and the writer
// itself: the old bytes stay, and the failure is reported, never success.
class TestFullDisk : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (geteuid() != 0)
            SKIP_OR_FAIL("needs root for a private mount namespace");
        // Only this test's mounts: they vanish with the process.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            SKIP_OR_FAIL("no private mount namespace here");
    }

    void fullDisk_data() {
        QTest::addColumn<QString>("full"); // which directory is the full tmpfs
        QTest::newRow("runtime directory: hosts staging") << "runtime";
        QTest::newRow("data directory: block lists") << "data";
    }

    void fullDisk() {
        QFETCH(QString, full);
        QTemporaryDir dir;
        const QString runtime = dir.filePath("runtime"), data = dir.filePath("data");
        QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(data));
        const QString hosts = dir.filePath("hosts"), config = data + "/focus-config.json";
        const QString fullDirectory = full == "runtime" ? runtime : data;
        QVERIFY(mountTmpfs(fullDirectory));
        QVERIFY(writeAll(hosts, kHosts) && writeAll(config, kConfig));
        QVERIFY(fill(fullDirectory));

        auto runner = std::make_unique<DirectShellRunner>(hosts, runtime);
        DirectShellRunner* shell = runner.get();
        FocusSessionManager manager(
            std::make_unique<FocusStore>(config),
            std::make_unique<HostBlocker>(HostBlockerOptions{hosts, {}}, std::move(runner),
                                          std::make_unique<NullDnsCacheFlusher>()),
            std::make_unique<FakeWorkspace>(), std::chrono::seconds(1),
            {std::make_unique<SessionRecordStore>(dir.filePath("session.json"),
                                                  dir.filePath("autostart.desktop"), "/bin/true"),
             steadyClock()});
        if (full == "runtime") {
            manager.start(25);
            QCOMPARE(manager.statusMessage(), QString("Focus session ended."));
            QVERIFY(!manager.isSessionActive());
            QVERIFY(shell->commands().isEmpty());
            const QString error = manager.errorMessage().value_or("<none>");
            QVERIFY2(error.contains("space") && error.contains(runtime + "/tarnhollow-hosts"),
                     qPrintable(error));
            QVERIFY(!QFile::exists(runtime + "/tarnhollow-hosts"));
        } else {
            manager.addWebsite("c.test");
            QCOMPARE(manager.websites(), (QStringList{"a.test", "b.test", "c.test"}));
            const QString error = manager.errorMessage().value_or("<none>");
            QVERIFY2(error.startsWith("The block lists could not be saved: ") &&
                         error.contains("space") && error.contains(config),
                     qPrintable(error));
            QCOMPARE(readAll(config), kConfig);
            // Room again: the next change saves everything and clears the error.
            QVERIFY(QFile::remove(data + "/filler"));
            manager.addWebsite("d.test");
            QVERIFY(!manager.hasErrorMessage());
            QVERIFY(readAll(config).contains("c.test"));
        }
        QCOMPARE(readAll(hosts), kHosts);
        if (full != "data")
            QCOMPARE(readAll(config), kConfig);
        QCOMPARE(::umount2(QFile::encodeName(fullDirectory).constData(), MNT_DETACH), 0);
    }
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_FullDisk.moc"
