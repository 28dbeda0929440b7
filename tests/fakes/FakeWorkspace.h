#pragma once

#include "platform/Workspace.h"

#include <QList>

#include <map>

// A scripted workspace: the test sets what runs, sees every quit request
// and announces launches. Applications are told apart by pid.
class FakeWorkspace : public Workspace {
public:
    enum class QuitResponse {
        Quits,       // leaves the running list
        Declines,    // keeps running
        Undelivered, // terminate answers false; keeps running
    };

    QList<RunningApplication> runningApplications() override;
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override { m_observers.erase(token); }

    void setRunningApplications(const QList<RunningApplication>& apps) { m_running = apps; }
    // Adds the application to the running list and tells every observer.
    void launch(const RunningApplication& application);
    void setQuitResponse(QuitResponse response) { m_defaultResponse = response; }
    void setQuitResponse(qint64 pid, QuitResponse response) { m_responses[pid] = response; }

    const QList<RunningApplication>& terminateRequests() const { return m_requests; }
    QList<qint64> terminatedPids() const;
    int terminateCount(qint64 pid) const { return int(terminatedPids().count(pid)); }
    int observerCount() const { return int(m_observers.size()); }
    int runningApplicationsCalls() const { return m_listCalls; }

    static RunningApplication app(qint64 pid, std::optional<QString> identifier,
                                  ActivationPolicy policy = ActivationPolicy::Regular) {
        return RunningApplication{std::move(identifier), policy, pid};
    }

private:
    QList<RunningApplication> m_running;
    QList<RunningApplication> m_requests;
    std::map<ObserverToken, LaunchHandler> m_observers;
    ObserverToken m_nextToken = 1;
    QuitResponse m_defaultResponse = QuitResponse::Quits;
    std::map<qint64, QuitResponse> m_responses;
    int m_listCalls = 0;
};
