#include "platform/linux/quit/ApplicationActionQuitter.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
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

ApplicationActionQuitter::ApplicationActionQuitter(QDBusConnection bus, int replyTimeoutMs,
                                                   QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_replyTimeoutMs(replyTimeoutMs) {}

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

void ApplicationActionQuitter::whenAnswered(const QDBusPendingCall& call,
                                            std::function<void(const QDBusMessage&)> then) {
    // A child: it goes with us, and the answer with it.
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then = std::move(then)] {
        watcher->deleteLater();
        then(watcher->reply());
    });
}

void ApplicationActionQuitter::askExportsQuit(const QString& owner, const QString& path,
                                              Done then) {
    if (m_noQuitByOwner.value(owner, false)) {
        then(false);
        return;
    }
    QDBusMessage describe = QDBusMessage::createMethodCall(owner, path, actionsInterface,
                                                           QStringLiteral("DescribeAll"));
    describe.setAutoStartService(false);
    whenAnswered(m_bus.asyncCall(describe, m_replyTimeoutMs), [this, owner, then = std::move(then)](
                                                                  const QDBusMessage& reply) {
        bool hasQuit = false;
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
            reply.arguments().first().canConvert<QDBusArgument>()) {
            hasQuit = describesEnabledQuit(reply.arguments().first().value<QDBusArgument>());
        }
        // A timeout says nothing lasting; a clear "no" is remembered per owner.
        const bool timedOut =
            reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply");
        if (!hasQuit && !timedOut)
            m_noQuitByOwner.insert(owner, true);
        then(hasQuit);
    });
}

bool ApplicationActionQuitter::requestQuit(const QString& desktopId, Done done) {
    if (!m_bus.isConnected() || !isValidBusName(desktopId))
        return false;
    // GetNameOwner never starts anything, and a unique name pins the
    // request to the instance we checked.
    QDBusMessage ownerCall = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ownerCall << desktopId;
    whenAnswered(m_bus.asyncCall(ownerCall, m_replyTimeoutMs),
                 [this, desktopId, done = std::move(done)](const QDBusMessage& reply) {
                     const bool answered =
                         reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
                     const QString owner = answered ? reply.arguments().first().toString() : "";
                     if (owner.isEmpty())
                         done(false);
                     else
                         activateQuit(owner, objectPath(desktopId), done);
                 });
    return true;
}

void ApplicationActionQuitter::activateQuit(const QString& owner, const QString& path, Done done) {
    askExportsQuit(owner, path, [this, owner, path, done = std::move(done)](bool hasQuit) {
        if (!hasQuit) {
            done(false);
            return;
        }
        QDBusMessage activate = QDBusMessage::createMethodCall(owner, path, applicationInterface,
                                                               QStringLiteral("ActivateAction"));
        activate.setAutoStartService(false);
        activate << QStringLiteral("quit") << QVariant::fromValue(QVariantList())
                 << QVariant::fromValue(QVariantMap());
        done(m_bus.send(activate));
    });
}
