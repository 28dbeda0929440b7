#include "platform/linux/hosts/LinuxDnsCacheFlusher.h"

#include <QDBusConnection>
#include <QDBusMessage>

void LinuxDnsCacheFlusher::flush() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage flushCaches = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.resolve1"), QStringLiteral("/org/freedesktop/resolve1"),
        QStringLiteral("org.freedesktop.resolve1.Manager"), QStringLiteral("FlushCaches"));
    // Never a second prompt, never a wait: without a resolver, or with a
    // refusal, the cache simply stays as it is.
    flushCaches.setInteractiveAuthorizationAllowed(false);
    flushCaches.setAutoStartService(false);
    bus.send(flushCaches);
}
