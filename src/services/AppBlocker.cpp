#include "services/AppBlocker.h"
#include "base/ApplicationId.h"
#include "base/ListEntry.h"

#include <QCoreApplication>

namespace {

QSet<QString> keysOf(const QStringList& bundleIds) {
    QSet<QString> set;
    for (const QString& id : bundleIds)
        set.insert(listEntryKey(id.trimmed()));
    return set;
}

} // namespace

AppBlocker::AppBlocker(const QStringList& bundleIds, Workspace& workspace,
                       std::chrono::milliseconds sweepInterval, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_sweepInterval(sweepInterval),
      m_blockedBundleIds(keysOf(bundleIds)) {
    m_tickTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_tickTimer, &QTimer::timeout, this, &AppBlocker::applyBlockToRunningApps);
}

// The workspace outlives us and would call a removed handler otherwise.
AppBlocker::~AppBlocker() {
    stop();
}

void AppBlocker::start() {
    stop();
    applyBlockToRunningApps();

    // Removed again by stop(), which the destructor calls.
    m_launchObserver = m_workspace.addLaunchObserver(
        [this](const RunningApplication& app) { handleLaunchNotification(app); });
    m_tickTimer.start(m_sweepInterval);
}

void AppBlocker::stop() {
    if (m_launchObserver) {
        m_workspace.removeLaunchObserver(*m_launchObserver);
        m_launchObserver.reset();
    }
    m_tickTimer.stop();
}

// An empty identifier is no identifier: a blank list entry matches nothing.
// Asking ourselves to quit would end the app and leave the block behind.
bool AppBlocker::isBlocked(const RunningApplication& application) const {
    if (application.pid == QCoreApplication::applicationPid())
        return false;
    if (!application.identifier || application.identifier->isEmpty())
        return false;
    const QString key = listEntryKey(*application.identifier);
    return key != listEntryKey(tarnhollowApplicationId()) && m_blockedBundleIds.contains(key);
}

void AppBlocker::applyBlockToRunningApps() {
    const QList<RunningApplication> applications = m_workspace.runningApplications();
    for (const RunningApplication& application : applications) {
        if (!isBlocked(application))
            continue;
        // Background-only applications are left alone by sweeps.
        if (application.activationPolicy == ActivationPolicy::Prohibited)
            continue;
        // A declined or undelivered request is repeated by the next sweep.
        m_workspace.terminate(application);
    }
}

// Unlike the sweep, a reported launch is acted on whatever the policy.
void AppBlocker::handleLaunchNotification(const RunningApplication& application) {
    if (isBlocked(application))
        m_workspace.terminate(application);
}
