#pragma once

#include "platform/SessionNotifier.h"

#include <QDBusConnection>
#include <QString>

// org.freedesktop.Notifications on the session bus, called asynchronously.
class DesktopNotifier : public SessionNotifier {
public:
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QString desktopEntry = QStringLiteral("org.tarnhollow.Tarnhollow"));
    void sessionEnded(int minutes) override;

    static QString body(int minutes);

private:
    QDBusConnection m_bus;
    QString m_desktopEntry;
};
