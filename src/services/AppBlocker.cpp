#include "services/AppBlocker.h"
#include "base/ApplicationId.h"

#include <QCoreApplication>

namespace {

QSet<QString> normalised(const QStringList& bundleIds) {
    QSet<QString> set;
    for (const QString& id : bundleIds)
        set.insert(id.trimmed().toLower());
    return set;
}

} // namespace

AppBlocker::AppBlocker(const QStringList& bundleIds, Workspace& workspace,
                       std::chrono::milliseconds sweepInterval, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_sweepInterval(sweepInterval),
      m_blockedBundleIds(normalised(bundleIds)) {}

// The owner stops the blocker before dropping it; a registration left behind
// finds its weak reference empty. The timer is a child and goes with us.
AppBlocker::~AppBlocker() = default;

void AppBlocker::start() {
    stop();
    applyBlockToRunningApps();

    const QPointer<AppBlocker> self(this);
    m_launchObserver = m_workspace.addLaunchObserver([self](const RunningApplication& app) {
        if (self)
            self->handleLaunchNotification(app);
    });

    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(m_sweepInterval);
    connect(timer, &QTimer::timeout, this, [self] {
        if (self)
            self->applyBlockToRunningApps();
    });
    timer->start();
    m_tickTimer = timer;
}

void AppBlocker::stop() {
    if (m_launchObserver) {
        m_workspace.removeLaunchObserver(*m_launchObserver);
        m_launchObserver.reset();
    }
    delete m_tickTimer.data();
    m_tickTimer = nullptr;
}

// An empty identifier is no identifier: a blank list entry matches nothing.
// Asking ourselves to quit would end the app and leave the block behind.
bool AppBlocker::isBlocked(const RunningApplication& application) const {
    if (application.pid == QCoreApplication::applicationPid())
        return false;
    return application.identifier && !application.identifier->isEmpty() &&
           application.identifier->compare(tarnhollowApplicationId(), Qt::CaseInsensitive) != 0 &&
           m_blockedBundleIds.contains(application.identifier->toLower());
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
