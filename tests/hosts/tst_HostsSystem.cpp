#include <QtTest>

#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Runs inside its own mount namespace: binds the temporary hosts file over
// /etc/hosts, proves the bind took effect, then applies, resolves, clears.
// With "probe" as helper it stops after the bind.
const char* const kScript = R"sh(set -e
hosts="$1"; helper="$2"; staging="$3"; shift 3
mount --bind "$hosts" /etc/hosts
grep -q '^# tarnhollow test file$' /etc/hosts || exit 90
[ "$helper" = probe ] && exit 0
"$helper" apply "$staging" "$@"
cp /etc/hosts "$staging/applied"
for name in a.test blocked.example sub.d.test; do
    for host in "$name" "www.$name"; do
        printf '%s=%s\n' "$host" "$(getent hosts "$host" | awk '{print $1}')"
    done
done
"$helper" clear "$staging"
)sh";

} // namespace

class HostsSystemTest : public QObject {
    Q_OBJECT

private slots:
    void applyResolveClear() {
        if (geteuid() != 0)
            QSKIP("needs root to create a private mount namespace");
        const QByteArray realBefore = readAll("/etc/hosts");
        QTemporaryDir dir;
        const QString hosts = dir.filePath("hosts");
        const QByteArray original =
            "# tarnhollow test file\n127.0.0.1\tlocalhost\n::1 localhost ip6-localhost\n\n";
        {
            QFile file(hosts);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(original);
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        }

        auto inNamespace = [&](const QString& helper, QByteArray* output) {
            QProcess run;
            run.setProcessChannelMode(QProcess::MergedChannels);
            run.start("unshare", {"--mount", "--propagation", "private", "/bin/sh", "-c", kScript,
                                  "sh", hosts, helper, dir.path(), "A.test",
                                  "https://Blocked.Example/path", "sub.d.test:80", "www.c.test"});
            const bool finished = run.waitForFinished(60000);
            *output = run.readAll();
            return finished && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
        };
        QByteArray output;
        if (!inNamespace("probe", &output))
            QSKIP(qPrintable("no private mount namespace with /etc/hosts bound here: " + output));
        QVERIFY2(inNamespace(TARNHOLLOW_HOSTS_HELPER, &output), output.constData());

        QCOMPARE(output, QByteArray("a.test=127.0.0.1\nwww.a.test=127.0.0.1\n"
                                    "blocked.example=127.0.0.1\nwww.blocked.example=127.0.0.1\n"
                                    "sub.d.test=127.0.0.1\nwww.sub.d.test=127.0.0.1\n"));
        const QByteArray applied = readAll(dir.filePath("applied"));
        QVERIFY(applied.startsWith(original + "\n\n# Tarnhollow:BEGIN\n"));
        QVERIFY(applied.endsWith("127.0.0.1 www.c.test\n# Tarnhollow:END"));
        QCOMPARE(readAll(hosts), original);
        QCOMPARE(int(QFile(hosts).permissions()) & 0x7077, 0x6044);
        QCOMPARE(readAll("/etc/hosts"), realBefore);
    }
};

QTEST_GUILESS_MAIN(HostsSystemTest)
#include "tst_HostsSystem.moc"
