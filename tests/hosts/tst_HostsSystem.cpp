#include "fakes/FileBytes.h"
#include "fakes/SkipOrFail.h"

#include <QtTest>

#include <unistd.h>

namespace {

const QByteArray kHosts = "# tarnhollow test file\n127.0.0.1\tlocalhost\n::1 localhost\n";
const QString kFailed = "failed: Failed to write /etc/hosts: ";
// Pid 1 of a private namespace, so no waiter outlives it. A waiter holding
// the helper's pipe would hold up `block` until the section is gone.
const char kWaiterSteps[] = R"sh(mount -t tmpfs tmpfs /run; mount --bind "$0" /etc/hosts; h=$1
at() { date -u -d "@$(($(date +%s) + $1))" +%Y-%m-%dT%H:%M:%SZ; }
block() { printf %s "$(printf '%s\na.test\n' "$(at $1)" | "$h" block 2>&1)"; }
state() { echo $(grep -c a.test /etc/hosts) $(grep -lzx -e '--end-session-waite[r]' \
    /proc/[0-9]*/cmdline | wc -l); }
block 2; state; block 3; state; sleep 4; state
block 2; s=$(sed 's/until .*/until 2099-01-01T00:00:00Z/' /etc/hosts); echo "$s" >/etc/hosts
sleep 3; state; block 9; "$h" unblock; state)sh";

} // namespace

// The real path of a desktop user: user 65534, pkexec, a real polkitd with
// our policy and a rule, the real helper, a temporary file as /etc/hosts.
class HostsSystemTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (geteuid() != 0)
            SKIP_OR_FAIL("needs root for a private mount namespace");
        for (const char* tool : {"/usr/lib/polkit-1/polkitd", "/usr/bin/pkexec",
                                 "/usr/bin/dbus-daemon", "/usr/bin/dbus-send", "/usr/bin/setpriv"})
            if (!QFileInfo(tool).isExecutable())
                SKIP_OR_FAIL(QString("%1 is not installed").arg(tool));
    }

    void asDesktopUser_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("hosts"); // plain, foreign (another uid's section), full
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("output");
        const auto row = [](const char* name, const char* rule, const char* hosts,
                            const char* steps, const QString& output) {
            QTest::newRow(name) << rule << hosts << steps << output;
        };
        row("allowed: block, resolve, unblock", "yes", "plain",
            "$CLIENT $HELPER apply A.test; getent hosts www.a.test | cut -d' ' -f1; "
            "$CLIENT $HELPER clear",
            "ok\n127.0.0.1\nok\n");
        row("refused", "no", "plain", "$CLIENT $HELPER apply a.test",
            "refused: Website blocking requires administrator permission to write /etc/hosts.\n");
        row("no rule, no agent", "none", "plain", "$CLIENT $HELPER apply a.test",
            kFailed + "No password can be asked for because no authentication agent is running. "
                      "Log in to a desktop session (or start its authentication agent) and try "
                      "again.\n");
        row("crafted name", "yes", "plain",
            "printf '2099-01-01T00:00:00Z\\na.test\\n127.0.0.1 x\\n' | pkexec $HELPER block",
            "Refused a host name that is not a plain lower-case name: 127.0.0.1%20x\n");
        row("another user's running session", "yes", "foreign", "$CLIENT $HELPER clear",
            kFailed + "Another user's focus session blocks websites until 2099-01-01 00:00 UTC; "
                      "only that user or an administrator can change it before then.\n\n");
        row("full file system", "yes", "full", "$CLIENT $HELPER apply a.test",
            kFailed +
                "The hosts file was left as it was: No space left on device (/etc/hosts)\n\n");
        row("our actions", "none", "plain",
            "for a in block unblock; do pkaction --verbose --action-id "
            "org.tarnhollow.Tarnhollow.$a; done",
            "");
    }
    void asDesktopUser() {
        QFETCH(QString, rule);
        QFETCH(QString, hosts);
        QFETCH(QString, steps);
        QFETCH(QString, output);
        const QByteArray realBefore = readAll("/etc/hosts");
        QTemporaryDir dir;
        QByteArray original = kHosts;
        // Fills its last page, so the section needs one more.
        if (hosts == "full")
            original += "# " + QByteArray(4000, 'x') + "\n";
        if (hosts == "foreign")
            original += "\n# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-01-01 00:00:00 +0000\n"
                        "# Tarnhollow:owner 1234 until 2099-01-01T00:00:00Z\n127.0.0.1 b.test\n"
                        "# Tarnhollow:END\n";
        QVERIFY(writeAll(dir.filePath("hosts"), original));
        QFile(dir.filePath("hosts"))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                            QFile::ReadOther);

        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("POLICY_DIR", TARNHOLLOW_POLICY_DIR);
        env.insert("CLIENT", TARNHOLLOW_CLIENT);
        env.insert("BUILT_HELPER", TARNHOLLOW_HELPER);
        env.insert("HELPER", TARNHOLLOW_INSTALLED_HELPER);
        run.setProcessEnvironment(env);
        // The pid namespace ends the helper's waiters with the test.
        run.start("unshare",
                  {"--mount", "--pid", "--fork", "--kill-child", "--mount-proc", "--propagation",
                   "private", "/bin/sh", TARNHOLLOW_POLKIT_SCRIPT, dir.path(), rule, hosts, steps});
        QVERIFY(run.waitForFinished(60000));
        const QByteArray log = run.readAll() + readAll(dir.filePath("polkitd.log"));
        if (run.exitCode() != 0)
            SKIP_OR_FAIL("no private namespace with a system bus and polkitd here: " + log);

        const QString out = QString::fromUtf8(readAll(dir.filePath("out")));
        if (output.isEmpty()) {
            // Both actions, their own words, and no password to end a block.
            const QString unblock = out.mid(out.indexOf("Tarnhollow.unblock:"));
            QVERIFY2(out.contains("Tarnhollow wants to block the websites on your list") &&
                         out.contains("implicit active:   auth_admin_keep") &&
                         unblock.contains("Tarnhollow wants to remove the websites") &&
                         unblock.contains("implicit active:   yes"),
                     qPrintable(out));
        } else {
            QCOMPARE(out, output);
        }
        QCOMPARE(readAll(dir.filePath("hosts.after")), original);
        QCOMPARE(readAll("/etc/hosts"), realBefore);
    }

    // The app is gone: the root waiter ends the block on time. A newer block
    // replaces it; an older one spares a section that is no longer its own.
    void rootWaiter() {
        const QByteArray realBefore = readAll("/etc/hosts");
        const QStringList unshare =
            QString("--mount --pid --fork --kill-child --mount-proc --net --propagation private")
                .split(' ');
        if (QProcess::execute("unshare", unshare + QStringList{"true"}) != 0)
            SKIP_OR_FAIL("no private mount, pid and network namespaces here");
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("hosts"), kHosts));
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("unshare", unshare + QStringList{"/bin/sh", "-c", kWaiterSteps,
                                                   dir.filePath("hosts"), TARNHOLLOW_HELPER});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.readAll(), "2 1\n2 1\n0 0\n2 0\n0 0\n");
        QCOMPARE(readAll(dir.filePath("hosts")), kHosts);
        QCOMPARE(readAll("/etc/hosts"), realBefore);
    }
};

QTEST_GUILESS_MAIN(HostsSystemTest)
#include "tst_HostsSystem.moc"
