#pragma once

#include "platform/Workspace.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <optional>

// Asks listed applications to quit while a focus session runs: at start,
// on each launch and on every sweep.
class AppBlocker : public QObject {
    Q_OBJECT
public:
    // `workspace` must outlive the blocker.
    AppBlocker(const QStringList& bundleIds, Workspace& workspace,
               std::chrono::milliseconds sweepInterval = std::chrono::milliseconds(2000),
               QObject* parent = nullptr);
    ~AppBlocker() override;

    // Sweeps once at once, then on every launch and every sweep interval.
    // Starting again restarts cleanly.
    void start();
    // Harmless when not started.
    void stop();

    bool isBlocking() const { return m_tickTimer.isActive(); }

private:
    void applyBlockToRunningApps();
    void handleLaunchNotification(const RunningApplication& application);
    bool isBlocked(const RunningApplication& application) const;

    Workspace& m_workspace;
    std::chrono::milliseconds m_sweepInterval;
    std::optional<Workspace::ObserverToken> m_launchObserver;
    QTimer m_tickTimer;
    // The listed IDs as list-entry keys.
    const QSet<QString> m_blockedBundleIds;
};
