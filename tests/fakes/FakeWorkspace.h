#pragma once

#include "platform/ObserverList.h"
#include "platform/Workspace.h"

#include <QList>

// A scripted workspace: the test sets what runs, sees every quit request
// and announces launches. Applications are told apart by pid.
class FakeWorkspace : public Workspace {
public:
    QList<RunningApplication> runningApplications() override { return m_running; }
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override { m_observers.remove(token); }

    void setRunningApplications(const QList<RunningApplication>& apps) { m_running = apps; }
    // Adds the application to the running list and tells every observer.
    void launch(const RunningApplication& application);

    const QList<qint64>& terminatedPids() const { return m_terminated; }
    int terminateCount(qint64 pid) const { return int(terminatedPids().count(pid)); }
    int observerCount() const { return int(m_observers.size()); }

    static RunningApplication app(qint64 pid, std::optional<QString> identifier,
                                  ActivationPolicy policy = ActivationPolicy::Regular) {
        return RunningApplication{std::move(identifier), policy, pid};
    }

private:
    QList<RunningApplication> m_running;
    QList<qint64> m_terminated;
    ObserverList<LaunchHandler> m_observers;
};
