#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

// The real executable under Xvfb, driven by real key presses, writing a
// stand-in for /etc/hosts in a private mount namespace.
class EndToEndTest : public QObject {
    Q_OBJECT

    static QByteArray realHosts() {
        QFile hosts("/etc/hosts");
        return hosts.open(QIODevice::ReadOnly) ? hosts.readAll() : QByteArray();
    }

private slots:
    void sessionBlocksAndRestoresHosts() {
        if (geteuid() != 0)
            QSKIP("needs root to bind-mount a stand-in over /etc/hosts");
        for (const char* tool :
             {"unshare", "mount", "Xvfb", "xdotool", "getent", "dbus-daemon", "timeout"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed").arg(tool)));
        }
        // A pid namespace too: a process the helper leaves behind ends with it.
        const QStringList unshare{"unshare", "--mount",       "--propagation", "private",
                                  "--pid",   "--mount-proc", "--fork"};
        if (QProcess::execute("unshare", unshare.mid(1) << "true") != 0)
            QSKIP("no private mount namespace here");

        const QByteArray before = realHosts();
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start("timeout",
                  QStringList{"-k", "5", "150"} + unshare +
                      QStringList{"/bin/sh", TARNHOLLOW_END_TO_END_SCRIPT, TARNHOLLOW_EXECUTABLE,
                                  TARNHOLLOW_HELPER, TARNHOLLOW_INSTALLED_HELPER});
        QVERIFY(run.waitForFinished(170000));
        const QString output = QString::fromLocal8Bit(run.readAll());
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 qPrintable(output));
        QVERIFY2(output.contains("end-to-end: ok"), qPrintable(output));
        QCOMPARE(realHosts(), before);
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "tst_EndToEnd.moc"
