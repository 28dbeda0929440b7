#include "platform/linux/workspace/CgroupIdentity.h"

#include <QtTest>

class CgroupIdentityTest : public QObject {
    Q_OBJECT

private slots:
    void fromLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected"); // empty: no identifier

        const QByteArray user = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
        QTest::newRow("gnome scope") << user + "app-gnome-org.gnome.Maps-4242.scope"
                                     << "org.gnome.Maps";
        QTest::newRow("gnome escaped dash") << user + "app-gnome-firefox\\x2desr-4711.scope"
                                            << "firefox-esr";
        QTest::newRow("gnome escaped utf-8")
            << user + "app-gnome-org.example.Caf\\xc3\\xa9-12.scope"
            << QString::fromUtf8("org.example.Café");
        QTest::newRow("kde scope") << user + "app-org.kde.konsole-2a0b3c4d.scope"
                                   << "org.kde.konsole";
        QTest::newRow("launcher service") << user + "app-gnome-org.gnome.Calendar@9f8e7d.service"
                                          << "org.gnome.Calendar";
        QTest::newRow("flatpak") << user + "app-flatpak-org.gimp.GIMP-98765.scope"
                                 << "org.gimp.GIMP";
        QTest::newRow("snap")
            << user + "snap.firefox.firefox.4a1f4c7e-7f5e-4d6a-9c43-2b8f0f1d2e3a.scope"
            << "firefox_firefox";
        QTest::newRow("snap daemon")
            << QByteArray("0::/system.slice/snap.lxd.daemon.service") << QString();
        QTest::newRow("xdg autostart")
            << user + "app-org.gnome.SettingsDaemon.Power@autostart.service"
            << "org.gnome.SettingsDaemon.Power";
        QTest::newRow("dbus-broker activation") << user + "dbus-:1.2-org.gnome.Nautilus@0.service"
                                                << "org.gnome.Nautilus";
        QTest::newRow("dbus-broker non-app name")
            << user + "dbus-:1.2-ca\\x2ddesrt\\x2ddconf@0.service" << QString();
        QTest::newRow("nested below the app unit")
            << user + "app-gnome-org.gnome.Terminal-33.scope/tab-1.scope"
            << "org.gnome.Terminal";
        QTest::newRow("no launcher, dotless id") << user + "app-xterm-101.scope"
                                                 << "xterm";
        QTest::newRow("v1 other controller")
            << QByteArray("4:memory:/user.slice/app-gnome-org.gnome.Maps-4242.scope") << QString();
        QTest::newRow("session scope")
            << QByteArray("0::/user.slice/user-1000.slice/session-2.scope") << QString();
        QTest::newRow("user manager") << user.chopped(9) << QString();
        QTest::newRow("scope without random part") << user + "app-.scope" << QString();
        QTest::newRow("garbage") << QByteArray("not a cgroup line") << QString();
    }
    void fromLine() {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const std::optional<QString> id = CgroupIdentity::fromLine(line);
        QCOMPARE(id.value_or(QString()), expected);
        QCOMPARE(id.has_value(), !expected.isEmpty());
    }

    void fromFile_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unified only")
            << QByteArray("0::/app.slice/app-org.kde.kate-1.scope\n") << "org.kde.kate";
        QTest::newRow("hybrid, v2 at root")
            << QByteArray(
                   "12:pids:/\n1:name=systemd:/app.slice/app-gnome-org.gnome.Maps-9.scope\n0::/\n")
            << "org.gnome.Maps";
        QTest::newRow("both name the app, v2 wins")
            << QByteArray(
                   "1:name=systemd:/app-gnome-org.a.One-1.scope\n0::/app-gnome-org.b.Two-2.scope\n")
            << "org.b.Two";
        QTest::newRow("container root")
            << QByteArray("9:name=systemd:/\n4:memory:/x\n0::/\n") << QString();
    }
    void fromFile() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        QCOMPARE(CgroupIdentity::fromFile(contents).value_or(QString()), expected);
    }
};

QTEST_GUILESS_MAIN(CgroupIdentityTest)
#include "tst_CgroupIdentity.moc"
