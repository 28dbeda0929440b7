#include "platform/linux/notify/DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QString desktopEntry)
    : m_bus(std::move(bus)), m_desktopEntry(std::move(desktopEntry)) {}

QString DesktopNotifier::body(int minutes) {
    if (minutes <= 0)
        return QCoreApplication::translate("DesktopNotifier",
                                           "Your focus session has ended. Websites and "
                                           "applications are no longer blocked.");
    return QCoreApplication::translate("DesktopNotifier",
                                       "Your %1-minute focus session has ended. Websites and "
                                       "applications are no longer blocked.")
        .arg(minutes);
}

void DesktopNotifier::sessionEnded(int minutes) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // No sound hint: the desktop decides whether to add one.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), m_desktopEntry},
                            {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}};
    call << QStringLiteral("Tarnhollow") << uint(0) << m_desktopEntry
         << QCoreApplication::translate("DesktopNotifier", "Focus session complete")
         << body(minutes) << QStringList() << hints << int(-1);
    // Fire and forget: nothing waits for the notification server.
    m_bus.asyncCall(call);
}
