#include "fakes/FileBytes.h"
#include "fakes/SkipOrFail.h"

#include <QtTest>

#include <unistd.h>

namespace {

const QByteArray kHosts = "# tarnhollow test file\n127.0.0.1\tlocalhost\n::1 localhost\n";
const QString kFailed = "failed: Failed to write /etc/hosts: ";
const QString kUnowned = "The hosts file holds an old Tarnhollow block that names no owner, so no "
                         "new block can be written. An administrator can remove it.";
// Pid 1 of a private namespace, so no waiter outlives it. A waiter holding
// the helper's pipe would hold up `block` until the section is gone.
// grep -s: a process may end between the glob and its read.
// The file stands in for /etc/hosts over a private copy of /etc, so the
// browsers' policy folders the helper writes are private too.
#define PRIVATE_ETC "mount -t tmpfs tmpfs /run; cp -a /etc /run/etc; mount --bind /run/etc /etc; "
const char kWaiterSteps[] = PRIVATE_ETC R"sh(mount --bind "$0" /etc/hosts; h=$1
block() { printf %s "$(printf '%s\na.test\n' $1 | "$h" block 2>&1)"; }
state() { echo $(grep -c a.test /etc/hosts) $(grep -slzx -e '--end-session-waite[r]' \
    /proc/[0-9]*/cmdline | wc -l); }
block 2; state; block 3; state; sleep 5; state
block 2; s=$(sed 's/until .*/until 2099-01-01T00:00:00Z/' /etc/hosts); echo "$s" >/etc/hosts
sleep 4; state; block 9; "$h" unblock; state)sh";

const QStringList kUnshare =
    QString("--mount --pid --fork --kill-child --mount-proc --net --propagation private")
        .split(' ');

// One rule of the helper per row, as root over a private copy of /etc (so
// the helper renames as on a real system) and a private /run; $END is a
// valid length.
const char kRuleSteps[] = R"sh(mount -t tmpfs tmpfs /run; cp -a /etc "$0/etc"
mount --bind "$0/etc" /etc; cp "$0/in" /etc/hosts; h=$1; shift
END=1800; eval "$1"; echo "status $?"; cp /etc/hosts "$0/after"
ls -a /etc | grep -c '^\.hosts\..*\.new$')sh";

QByteArray section(uint uid, qint64 fromNow, const QByteArray& name) {
    const QByteArray until =
        QDateTime::currentDateTimeUtc().addSecs(fromNow).toString(Qt::ISODate).toLatin1();
    return "\n# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-01-01 00:00:00 +0000\n"
           "# Tarnhollow:owner " +
           QByteArray::number(uid) + " until " + until + "\n127.0.0.1 " + name +
           "\n# Tarnhollow:END\n";
}

// The block's end measured against our exit, which the app's countdown
// starts after, and against its owner line, on the true clock: a step of the
// wall clock at the write, a reboot, the largest request. The owner line's
// end, in whole seconds, never comes before the length from our start.
const char kEndSteps[] = R"sh(mount -t tmpfs tmpfs /run; cp -a /etc "$0/etc"
mount --bind "$0/etc" /etc; h=$1; up() { awk '{printf "%d", $1 * 1000}' "$@"; }
{ echo 2; seq -f 'n%06g.test' $2; } >"$0/request"; s() { grep -q Tarnhollow:BEGIN /etc/hosts; }
(until s; do sleep 0.01; done; while s; do sleep 0.01; done; date +%s%N >"$0/wall"
    cat /proc/uptime >"$0/gone") & w=$!
b=$(date +%s%3N); DONT_FAKE_MONOTONIC=1 $3 sh -c "$h block <$0/request >/dev/null; cat /proc/uptime >$0/exit"
u=$(date -d "$(sed -n 's/^# Tarnhollow:owner 0 until //p' /etc/hosts)" +%s)000; eval "$4"
wait $w; echo $(($(up "$0/gone") - $(up "$0/exit"))) $(($(cat "$0/wall") / 1000000 - u)) $((u - b)))sh";

// Any interleaving of blocks and unblocks leaves at most one waiter.
const char kPairSteps[] = PRIVATE_ETC R"sh(mount --bind "$0" /etc/hosts; h=$1
n() { pgrep -fc 'waite[r] 1002'; }; most=0
for i in $(seq 200); do
    printf '60\na.test\n' | PKEXEC_UID=1002 $h block >/dev/null & PKEXEC_UID=1002 $h unblock &
    [ $((i % 20)) = 0 ] && { wait; c=$(n); [ $c -gt $most ] && most=$c; }
done; wait; echo $most $(n))sh";

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
        row("another user's running session", "yes", "foreign", "$CLIENT $HELPER apply a.test",
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

    void helperRules_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("after"); // empty: as before
        const QByteArray l = "127.0.0.1 localhost\n";
        const QByteArray i = "10.0.0.1 intranet\n";
        const QByteArray old = section(1000, -60, "old.test");
        const QByteArray running = section(1001, 1800, "run.test");
        const QString user = "PKEXEC_UID=1002 $h unblock";
        const QString refused = "Another user's focus session blocks websites";
        const QByteArray unowned = "\n\n# Tarnhollow:BEGIN\n127.0.0.1 x.test\n# Tarnhollow:END\n";
        const auto row = [](const char* name, const QByteArray& hosts, const QString& steps,
                            const QString& output, const QByteArray& after) {
            QTest::newRow(name) << hosts << steps << output << after;
        };
        // A section ending the file after a terminated line has two blank lines,
        // as our writer leaves it.
        row("expired, then another's running", l + old + i + "\n" + running, user, "status 0\n0\n",
            l + i + "\n" + running);
        row("another's running, then expired", l + running + i + "\n" + old, user, "status 0\n0\n",
            l + running + i);
        row("only another's running", l + "\n" + running,
            "out=$(" + user + "); s=$?; echo \"${out%% until*}\"; (exit $s)",
            refused + "\nstatus 1\n0\n", {});
        row("no owner line: refused", l + unowned, user, kUnowned + "\nstatus 1\n0\n", {});
        const QString userBlock = "printf '%s\\na.test\\n' $END | PKEXEC_UID=1002 $h block";
        const QByteArray loneEnd = l + "# Tarnhollow:END\n";
        row("no owner line stops a block", l + unowned, userBlock, kUnowned + "\nstatus 3\n0\n",
            {});
        row("nor does it stop a block", loneEnd, userBlock + "; grep -c Tarnhollow:END /etc/hosts",
            "2\nstatus 0\n0\n", "*");
        row("an administrator's run removes what names no owner", loneEnd + i + unowned + running,
            "PKEXEC_UID=1002 $h remove-unowned", "status 0\n0\n", l + i + "\n" + running);
        row("without nft the hosts file blocks, and says so", l,
            "touch /run/nonft; mount --bind /run/nonft /usr/sbin/nft; " + userBlock,
            "notice: Websites are blocked through the hosts file alone: nft is not installed.\n"
            "status 0\n0\n",
            "*");
        row("the trailing dot is blocked", l, userBlock + "; getent hosts a.test. | cut -d' ' -f1",
            "127.0.0.1\nstatus 0\n0\n", "*");
        row("boot: the ended go, the running get a waiter", l + old + i + "\n" + running,
            "$h boot; pgrep -fc 'waite[r] 1001'", "1\nstatus 0\n0\n", l + i + "\n" + running);
        row("a folder others can read is made private", l,
            "mkdir -m 755 /run/tarnhollow; " + userBlock + "; stat -c %a /run/tarnhollow",
            "700\nstatus 0\n0\n", "*");
        row("one others can write is refused", l,
            "mkdir -m 777 /run/tarnhollow; " + userBlock + " | grep -o 'is not a folder.*'",
            "is not a folder only root can use.\nstatus 0\n0\n", "*");
        row("an upgraded waiter is ended", l,
            "mkdir /run/v; cp $h /run/v; printf '%s\\na.test\\n' $END | PKEXEC_UID=1002 "
            "/run/v/tarnhollow-hosts-helper block; rm -r /run/v; " +
                user + "; pgrep -fc 'waite[r] 1002'",
            "0\nstatus 1\n0\n", l);
        row("byte that is not UTF-8", "# caf\xe9\n\n" + section(0, 1800, "a.test"), "$h unblock",
            "status 0\n0\n", "# caf\xe9\n");
        row("a FIFO is refused at once", l,
            "rm /etc/hosts; mkfifo /etc/hosts; timeout 5 $h unblock; s=$?; rm /etc/hosts; "
            "cp \"$0/in\" /etc/hosts; (exit $s)",
            "The hosts file is not a regular file, so it was left alone.\nstatus 1\n0\n", {});
        row("left-overs removed", l + "\n" + old,
            "for n in a b; do echo x >/etc/.hosts.$n.new; done; $h unblock", "status 0\n0\n", l);
        // The request's rules have their own unit test; these show they apply.
        row("length past an hour", l, "printf '3601\\na.test\\n' | $h block",
            "The session's length must be a whole number of seconds from 1 to 3600.\nstatus 1\n0\n",
            {});
        row("request split in time", l,
            "(echo $END; sleep 1; printf 'exam'; sleep 1; echo 'ple.test') | $h block >/dev/null; "
            "grep -c '^127.0.0.1 example.test example.test.$' /etc/hosts",
            "1\nstatus 0\n0\n", "*");
        row("request cut short", l, "printf '%s\\na.test' $END | $h block",
            "The request was cut short.\nstatus 1\n0\n", {});
        row("a name that is not a host's", l, "printf '%s\\nwww..\\n' $END | $h block",
            "Refused a host name that is not a plain lower-case name: www..\nstatus 1\n0\n", {});
    }
    void helperRules() {
        QFETCH(QByteArray, hosts);
        QFETCH(QString, steps);
        QFETCH(QString, output);
        QFETCH(QByteArray, after);
        const QByteArray realBefore = readAll("/etc/hosts");
        if (QProcess::execute("unshare", kUnshare + QStringList{"true"}) != 0)
            SKIP_OR_FAIL("no private mount, pid and network namespaces here");
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("in"), hosts));
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("unshare", kUnshare + QStringList{"/bin/sh", "-c", kRuleSteps, dir.path(),
                                                    TARNHOLLOW_HELPER, steps});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(run.readAll()), output);
        if (after != "*")
            QCOMPARE(readAll(dir.filePath("after")), after.isEmpty() ? hosts : after);
        QCOMPARE(readAll("/etc/hosts"), realBefore);
    }

    void endOnTime_data() {
        QTest::addColumn<int>("names");
        QTest::addColumn<QString>("faked");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("fromOwnerLine"); // else from our exit
        QTest::newRow("clock 30 min behind") << 1 << "faketime -f -30m"
                                             << "" << false;
        QTest::newRow("clock 30 min ahead") << 1 << "faketime -f +30m"
                                            << "" << false;
        QTest::newRow("reboot") << 1 << ""
                                << "pkill -9 -f waite[r]; umount /run; mount -t tmpfs tmpfs /run; "
                                   "$h boot"
                                << true;
        // Apart by a day, as after long suspends: the waiter keeps to the boot clock.
        QTest::newRow("monotonic clock apart") << 1 << "unshare --time --monotonic 86400"
                                               << "" << false;
        QTest::newRow("largest request") << 100000 << ""
                                         << "" << false;
    }
    // Never before its end, and within a second of it: the owner line holds
    // whole seconds. A busy machine may add a little to that.
    void endOnTime() {
        QFETCH(int, names);
        QFETCH(QString, faked);
        QFETCH(QString, after);
        QFETCH(bool, fromOwnerLine);
        if (QProcess::execute("unshare", kUnshare + QStringList{"true"}) != 0)
            SKIP_OR_FAIL("no private mount, pid and network namespaces here");
        if (!faked.isEmpty() && QStandardPaths::findExecutable("faketime").isEmpty())
            SKIP_OR_FAIL("faketime is not installed");
        QTemporaryDir dir;
        QProcess run;
        run.start("unshare",
                  kUnshare + QStringList{"/bin/sh", "-c", kEndSteps, dir.path(), TARNHOLLOW_HELPER,
                                         QString::number(names), faked, after});
        QVERIFY(run.waitForFinished(60000));
        const QList<QByteArray> ms = run.readAllStandardOutput().trimmed().split(' ');
        QVERIFY2(ms.size() == 3, run.readAllStandardError().constData());
        if (!faked.startsWith("faketime"))
            QVERIFY2(ms[2].toInt() >= 2000, ms.join(' ').constData());
        const int late = fromOwnerLine ? ms[1].toInt() : ms[0].toInt() - 2000;
        qInfo("%s: removed %d ms after its end", QTest::currentDataTag(), late);
        QVERIFY2(late >= 0 && late < 1250, ms.join(' ').constData());
    }

    void onlyOneWaiter() {
        if (QProcess::execute("unshare", kUnshare + QStringList{"true"}) != 0)
            SKIP_OR_FAIL("no private mount, pid and network namespaces here");
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("hosts"), kHosts));
        QProcess run;
        run.start("unshare", kUnshare + QStringList{"/bin/sh", "-c", kPairSteps,
                                                    dir.filePath("hosts"), TARNHOLLOW_HELPER});
        QVERIFY(run.waitForFinished(120000));
        const QByteArray counts = run.readAllStandardOutput().trimmed();
        QVERIFY2(counts == "1 0" || counts == "1 1" || counts == "0 0", counts.constData());
    }

    // The app is gone: the root waiter ends the block on time. A newer block
    // replaces it; an older one spares a section that is no longer its own.
    void rootWaiter() {
        const QByteArray realBefore = readAll("/etc/hosts");
        if (QProcess::execute("unshare", kUnshare + QStringList{"true"}) != 0)
            SKIP_OR_FAIL("no private mount, pid and network namespaces here");
        QTemporaryDir dir;
        QVERIFY(writeAll(dir.filePath("hosts"), kHosts));
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("unshare", kUnshare + QStringList{"/bin/sh", "-c", kWaiterSteps,
                                                    dir.filePath("hosts"), TARNHOLLOW_HELPER});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.readAll(), "2 1\n2 1\n0 0\n2 0\n0 0\n");
        QCOMPARE(readAll(dir.filePath("hosts")), kHosts);
        QCOMPARE(readAll("/etc/hosts"), realBefore);
    }
};

QTEST_GUILESS_MAIN(HostsSystemTest)
#include "tst_HostsSystem.moc"
