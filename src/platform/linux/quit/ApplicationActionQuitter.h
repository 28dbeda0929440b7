#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QString>

// Asks a running application to quit through its own "quit" action
// (org.freedesktop.Application on the session bus), as its Quit menu does.
class ApplicationActionQuitter {
public:
    explicit ApplicationActionQuitter(QDBusConnection bus, int replyTimeoutMs = 300);

    // Sends ActivateAction("quit") when the application owns its bus name
    // (nothing is auto-started) and exports an enabled quit action.
    // Returns whether the request went out.
    bool requestQuit(const QString& desktopId);

    // The D-Bus object path an application ID maps to.
    static QString objectPath(const QString& desktopId);
    static bool isValidBusName(const QString& name);

private:
    bool exportsQuit(const QString& owner, const QString& path);

    QDBusConnection m_bus;
    int m_replyTimeoutMs;
    // Per unique connection name: whether it exports quit. A connection's
    // actions are fixed often enough that asking once per owner suffices
    // for the "has no quit" answer; a yes is re-checked on every request.
    QHash<QString, bool> m_noQuitByOwner;
};
