#include "platform/linux/workspace/LaunchMonitor.h"

#include "platform/linux/x11/X11WindowDirectory.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSocketNotifier>

namespace {

const QString systemdService = QStringLiteral("org.freedesktop.systemd1");
const QString systemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString systemdManager = QStringLiteral("org.freedesktop.systemd1.Manager");

// A unit is announced before its process has moved in or exec'd: look
// again shortly after, then now and then while a new process may still
// become the application, for as long as a process counts as young.
constexpr std::chrono::milliseconds firstFollowUp{30};
constexpr std::chrono::milliseconds followUpEvery{100};
constexpr std::chrono::seconds followUpFor{2};

// Desktop launchers start applications in units of these names.
bool isApplicationUnit(const QString& unit) {
    return (unit.startsWith(QLatin1String("app-")) || unit.startsWith(QLatin1String("snap."))) &&
           (unit.endsWith(QLatin1String(".scope")) || unit.endsWith(QLatin1String(".service")));
}

} // namespace

LaunchMonitor::LaunchMonitor(QDBusConnection bus, X11WindowDirectory* windows,
                             std::chrono::milliseconds quietInterval, std::function<bool()> scan,
                             QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_windows(windows), m_scan(std::move(scan)) {
    // The bus looks the slots' parameter types up by name; unregistered,
    // the signals would never be connected.
    qRegisterMetaType<QDBusObjectPath>();
    // Nothing depends on its exact moment: let the system batch it.
    m_quietSweep.setTimerType(Qt::CoarseTimer);
    m_quietSweep.setSingleShot(true);
    m_quietSweep.setInterval(quietInterval);
    connect(&m_quietSweep, &QTimer::timeout, this, &LaunchMonitor::runScan);
    m_followUp.setSingleShot(true);
    connect(&m_followUp, &QTimer::timeout, this, [this] {
        runScan();
        if (m_running && m_settling && std::chrono::steady_clock::now() < m_followUntil)
            m_followUp.start(followUpEvery);
    });
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

void LaunchMonitor::subscribe(bool on) {
    const auto unitNew = QStringLiteral("UnitNew");
    const auto jobRemoved = QStringLiteral("JobRemoved");
    const char* unitSlot = SLOT(onUnitNew(QString, QDBusObjectPath));
    const char* jobSlot = SLOT(onJobRemoved(uint, QDBusObjectPath, QString, QString));
    if (on) {
        m_subscribed =
            m_bus.isConnected() &&
            m_bus.connect(systemdService, systemdPath, systemdManager, unitNew, this, unitSlot);
        if (!m_subscribed)
            return;
        m_bus.connect(systemdService, systemdPath, systemdManager, jobRemoved, this, jobSlot);
        // The manager emits these only while someone has subscribed.
        callManager(QStringLiteral("Subscribe"));
        return;
    }
    if (!std::exchange(m_subscribed, false))
        return;
    m_bus.disconnect(systemdService, systemdPath, systemdManager, unitNew, this, unitSlot);
    m_bus.disconnect(systemdService, systemdPath, systemdManager, jobRemoved, this, jobSlot);
    callManager(QStringLiteral("Unsubscribe"));
}

void LaunchMonitor::start() {
    if (m_running)
        return;
    m_running = true;
    subscribe(true);
    followDisplay();
    m_quietSweep.start();
}

void LaunchMonitor::stop() {
    if (!m_running)
        return;
    m_running = false;
    m_quietSweep.stop();
    m_followUp.stop();
    m_display.reset();
    subscribe(false);
}

void LaunchMonitor::scanned() {
    if (!m_running)
        return;
    m_quietSweep.start();
    followDisplay();
    // Events read while a scan waited for replies never wake the notifier.
    if (m_display && m_windows->readEvents())
        QMetaObject::invokeMethod(this, &LaunchMonitor::runScan, Qt::QueuedConnection);
}

// The connection may be new, or gone after a break; a notifier must never
// outlive the socket it watches.
void LaunchMonitor::followDisplay() {
    const int fd = m_windows != nullptr ? m_windows->eventDescriptor() : -1;
    if (m_display && int(m_display->socket()) == fd)
        return;
    m_display.reset();
    if (fd < 0)
        return;
    m_display = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_display.get(), &QSocketNotifier::activated, this, [this] {
        // Moves and restacking wake us too, but call for no scan.
        if (m_windows->readEvents())
            runScan();
        followDisplay();
    });
}

void LaunchMonitor::runScan() {
    if (!m_running)
        return;
    m_settling = m_scan();
    scanned();
}

void LaunchMonitor::unitAppeared(const QString& unit) {
    if (!m_running || !isApplicationUnit(unit))
        return;
    runScan();
    m_followUntil = std::chrono::steady_clock::now() + followUpFor;
    if (!m_followUp.isActive())
        m_followUp.start(firstFollowUp);
}

void LaunchMonitor::onUnitNew(const QString& unit, const QDBusObjectPath&) {
    unitAppeared(unit);
}

// A scope's start job ends once its processes have moved in.
void LaunchMonitor::onJobRemoved(uint, const QDBusObjectPath&, const QString& unit,
                                 const QString&) {
    unitAppeared(unit);
}
