#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {

QByteArray realHostsDigest() {
    QFile hosts("/etc/hosts");
    if (!hosts.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(hosts.readAll(), QCryptographicHash::Sha256);
}

} // namespace

// The real executable under Xvfb, driven by real key presses, writing a
// stand-in for /etc/hosts in a private mount namespace.
class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void sessionBlocksAndRestoresHosts() {
        if (geteuid() != 0) {
            QSKIP("needs root to bind-mount a stand-in over /etc/hosts");
        }
        for (const char* tool :
             {"unshare", "mount", "Xvfb", "xdotool", "getent", "dbus-daemon", "timeout"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
            }
        }
        if (QProcess::execute("unshare", {"--mount", "--propagation", "private", "true"}) != 0) {
            QSKIP("no private mount namespace here");
        }

        const QByteArray before = realHostsDigest();
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("timeout", {"-k", "5", "150", "unshare", "--mount", "--propagation", "private",
                              "/bin/sh", QStringLiteral(TARNHOLLOW_END_TO_END_SCRIPT),
                              QStringLiteral(TARNHOLLOW_EXECUTABLE)});
        QVERIFY(run.waitForFinished(170000));
        const QString output = QString::fromLocal8Bit(run.readAll());
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 qPrintable(output));
        QVERIFY2(output.contains("end-to-end: ok"), qPrintable(output));
        QCOMPARE(realHostsDigest(), before);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_EndToEnd.moc"
