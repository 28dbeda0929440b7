#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QDBusMessage;
class QDBusPendingCall;

// Asks a running application to quit through its own "quit" action
// (org.freedesktop.Application on the session bus), as its Quit menu does.
// Never waits for the bus: answers are taken from the event loop.
class ApplicationActionQuitter : public QObject {
    Q_OBJECT
public:
    // sent: whether ActivateAction("quit") went out.
    using Done = std::function<void(bool sent)>;

    explicit ApplicationActionQuitter(QDBusConnection bus, int replyTimeoutMs = 300,
                                      QObject* parent = nullptr);

    // Sends ActivateAction("quit") when the application owns its bus name
    // (nothing is auto-started) and exports an enabled quit action. False,
    // and done never called, when no bus or no valid name rules it out at
    // once; otherwise done follows once the bus has answered or timed out.
    bool requestQuit(const QString& desktopId, Done done);

    // The D-Bus object path an application ID maps to.
    static QString objectPath(const QString& desktopId);
    static bool isValidBusName(const QString& name);

private:
    void whenAnswered(const QDBusPendingCall& call, std::function<void(const QDBusMessage&)> then);
    void askExportsQuit(const QString& owner, const QString& path, Done then);
    void activateQuit(const QString& owner, const QString& path, Done done);

    QDBusConnection m_bus;
    int m_replyTimeoutMs;
    // Per unique connection name: whether it exports quit. A connection's
    // actions are fixed often enough that asking once per owner suffices
    // for the "has no quit" answer; a yes is re-checked on every request.
    QHash<QString, bool> m_noQuitByOwner;
};
