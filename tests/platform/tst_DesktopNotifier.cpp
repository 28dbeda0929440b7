#include "fakes/SkipOrFail.h"
#include "platform/linux/notify/DesktopNotifier.h"

#include <QDBusConnection>
#include <QProcess>
#include <QtTest>

namespace {

// The notification server, as a desktop runs it, on a private bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;
public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        received << app << icon << summary << body << hints.value("desktop-entry").toString();
        return 1;
    }
};

} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT

private slots:
    void sessionEndReachesTheServer() {
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus.waitForReadyRead(5000))
            SKIP_OR_FAIL("dbus-daemon is not available");
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection server = QDBusConnection::connectToBus(address, "server");
        FakeNotifications fake;
        QVERIFY(server.registerObject("/org/freedesktop/Notifications", &fake,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService("org.freedesktop.Notifications"));

        DesktopNotifier(QDBusConnection::connectToBus(address, "app")).sessionEnded(25);
        QTRY_COMPARE(
            fake.received,
            (QStringList{"Tarnhollow", "org.tarnhollow.Tarnhollow", "Focus session complete",
                         "Your 25-minute focus session has ended. Websites and "
                         "applications are no longer blocked.",
                         "org.tarnhollow.Tarnhollow"}));
        QDBusConnection::disconnectFromBus("app");
        QDBusConnection::disconnectFromBus("server");
        bus.kill();
        bus.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(DesktopNotifierTest)
#include "tst_DesktopNotifier.moc"
