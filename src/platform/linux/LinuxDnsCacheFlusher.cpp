#include "platform/linux/LinuxDnsCacheFlusher.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {
const QString kResolved = QStringLiteral("org.freedesktop.resolve1");
} // namespace

LinuxDnsCacheFlusher::LinuxDnsCacheFlusher(int timeoutMs) : m_timeoutMs(timeoutMs) {}

void LinuxDnsCacheFlusher::flush(PrivilegedRunner&) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;

    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << kResolved;
    const QDBusMessage owned = bus.call(hasOwner, QDBus::Block, m_timeoutMs);
    if (owned.type() != QDBusMessage::ReplyMessage || owned.arguments().value(0).toBool() != true)
        return;

    QDBusMessage flushCaches = QDBusMessage::createMethodCall(
        kResolved, QStringLiteral("/org/freedesktop/resolve1"),
        QStringLiteral("org.freedesktop.resolve1.Manager"), QStringLiteral("FlushCaches"));
    // Never a second prompt: a refusal simply leaves the cache as it is.
    flushCaches.setInteractiveAuthorizationAllowed(false);
    flushCaches.setAutoStartService(false);
    (void)bus.call(flushCaches, QDBus::Block, m_timeoutMs);
}
