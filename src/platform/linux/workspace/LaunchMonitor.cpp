#include "platform/linux/workspace/LaunchMonitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

const QString systemdService = QStringLiteral("org.freedesktop.systemd1");
const QString systemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString systemdManager = QStringLiteral("org.freedesktop.systemd1.Manager");

// A unit is announced before its process has moved in or exec'd: look again
// shortly after the immediate scan.
constexpr int followUpMs = 30;

} // namespace

LaunchMonitor::LaunchMonitor(QDBusConnection bus, std::chrono::milliseconds interval,
                             std::function<void()> scan, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_scan(std::move(scan)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_scan(); });
}

LaunchMonitor::~LaunchMonitor() {
    stop();
}

void LaunchMonitor::callManager(const QString& method) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(systemdService, systemdPath, systemdManager, method);
    // Never start a manager that is not running, and never wait for it.
    call.setAutoStartService(false);
    m_bus.send(call);
}

void LaunchMonitor::start() {
    if (m_timer.isActive())
        return;
    m_timer.start();
    if (m_bus.isConnected()) {
        m_subscribed =
            m_bus.connect(systemdService, systemdPath, systemdManager, QStringLiteral("UnitNew"),
                          this, SLOT(onUnitNew(QString, QDBusObjectPath)));
        if (m_subscribed)
            callManager(QStringLiteral("Subscribe"));
    }
}

void LaunchMonitor::stop() {
    m_timer.stop();
    if (!m_subscribed)
        return;
    m_bus.disconnect(systemdService, systemdPath, systemdManager, QStringLiteral("UnitNew"), this,
                     SLOT(onUnitNew(QString, QDBusObjectPath)));
    callManager(QStringLiteral("Unsubscribe"));
    m_subscribed = false;
}

void LaunchMonitor::onUnitNew(const QString& unit, const QDBusObjectPath&) {
    if (!m_timer.isActive() || !unit.startsWith(QStringLiteral("app-")))
        return;
    m_scan();
    QTimer::singleShot(followUpMs, this, [this] {
        if (m_timer.isActive())
            m_scan();
    });
}
