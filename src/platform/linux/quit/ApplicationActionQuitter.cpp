#include "platform/linux/quit/ApplicationActionQuitter.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
const QString actionsInterface = QStringLiteral("org.gtk.Actions");

bool isNameChar(QChar c, bool first) {
    if (c.unicode() > 127)
        return false;
    if (c.isLetter() || c == u'_' || c == u'-')
        return true;
    return !first && c.isDigit();
}

// DescribeAll answers a{s(bgav)}: is "quit" there and enabled? The rest of
// each description is skipped unread: QtDBus warns about the empty
// parameter signature every parameterless action has.
bool describesEnabledQuit(const QDBusArgument& actions) {
    bool found = false;
    actions.beginMap();
    while (!actions.atEnd()) {
        QString name;
        bool enabled = false;
        actions.beginMapEntry();
        actions >> name;
        actions.beginStructure();
        actions >> enabled;
        actions.endStructure();
        actions.endMapEntry();
        if (name == QStringLiteral("quit") && enabled)
            found = true;
    }
    actions.endMap();
    return found;
}

} // namespace

ApplicationActionQuitter::ApplicationActionQuitter(QDBusConnection bus, int replyTimeoutMs)
    : m_bus(std::move(bus)), m_replyTimeoutMs(replyTimeoutMs) {}

QString ApplicationActionQuitter::objectPath(const QString& desktopId) {
    QString path = u'/' + desktopId;
    path.replace(u'.', u'/');
    path.replace(u'-', u'_');
    return path;
}

bool ApplicationActionQuitter::isValidBusName(const QString& name) {
    if (name.isEmpty() || name.size() > 255)
        return false;
    const QStringList elements = name.split(u'.');
    if (elements.size() < 2)
        return false;
    for (const QString& element : elements) {
        if (element.isEmpty())
            return false;
        for (qsizetype i = 0; i < element.size(); ++i) {
            if (!isNameChar(element[i], i == 0))
                return false;
        }
    }
    return true;
}

bool ApplicationActionQuitter::exportsQuit(const QString& owner, const QString& path) {
    if (m_noQuitByOwner.value(owner, false))
        return false;
    QDBusMessage describe = QDBusMessage::createMethodCall(owner, path, actionsInterface,
                                                           QStringLiteral("DescribeAll"));
    describe.setAutoStartService(false);
    const QDBusMessage reply = m_bus.call(describe, QDBus::Block, m_replyTimeoutMs);
    bool hasQuit = false;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
        reply.arguments().first().canConvert<QDBusArgument>()) {
        hasQuit = describesEnabledQuit(reply.arguments().first().value<QDBusArgument>());
    }
    // A timeout says nothing lasting; a clear "no" is remembered per owner.
    const bool timedOut = reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply");
    if (!hasQuit && !timedOut)
        m_noQuitByOwner.insert(owner, true);
    return hasQuit;
}

bool ApplicationActionQuitter::requestQuit(const QString& desktopId) {
    if (!m_bus.isConnected() || !isValidBusName(desktopId))
        return false;
    // GetNameOwner never starts anything, and a unique name pins the
    // request to the instance we checked.
    QDBusMessage ownerCall = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ownerCall << desktopId;
    const QDBusMessage ownerReply = m_bus.call(ownerCall, QDBus::Block, m_replyTimeoutMs);
    if (ownerReply.type() != QDBusMessage::ReplyMessage || ownerReply.arguments().isEmpty())
        return false;
    const QString owner = ownerReply.arguments().first().toString();
    if (owner.isEmpty())
        return false;
    const QString path = objectPath(desktopId);
    if (!exportsQuit(owner, path))
        return false;
    QDBusMessage activate = QDBusMessage::createMethodCall(owner, path, applicationInterface,
                                                           QStringLiteral("ActivateAction"));
    activate.setAutoStartService(false);
    activate << QStringLiteral("quit") << QVariant::fromValue(QVariantList())
             << QVariant::fromValue(QVariantMap());
    return m_bus.send(activate);
}
