#pragma once

#include "platform/Workspace.h"

#include <QList>

#include <map>

// A scripted workspace: the test says which applications run, sees every
// quit request, and can announce launches. Applications are told apart by pid.
class FakeWorkspace : public Workspace {
public:
    // What a quit request does to the application it reaches.
    enum class QuitResponse {
        Quits,       // delivered; the application leaves the running list
        Declines,    // delivered; the application keeps running
        Undelivered, // not delivered (terminate answers false); it keeps running
    };

    QList<RunningApplication> runningApplications() override;
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override;

    // --- scripting ---
    void setRunningApplications(const QList<RunningApplication>& applications);
    void addRunningApplication(const RunningApplication& application);
    void removeRunningApplication(qint64 pid);
    // Adds the application to the running list (unless told otherwise) and
    // delivers its launch to every registered observer.
    void launch(const RunningApplication& application, bool addToRunning = true);
    // The response for every application without one of its own.
    void setQuitResponse(QuitResponse response) { m_defaultResponse = response; }
    void setQuitResponse(qint64 pid, QuitResponse response) { m_responses[pid] = response; }

    // --- inspection ---
    const QList<RunningApplication>& running() const { return m_running; }
    bool isRunning(qint64 pid) const;
    // Every terminate call, in order, whatever the response.
    const QList<RunningApplication>& terminateRequests() const { return m_requests; }
    QList<qint64> terminatedPids() const;
    int terminateCount(qint64 pid) const;
    void clearTerminateRequests() { m_requests.clear(); }
    int observerCount() const { return int(m_observers.size()); }
    int runningApplicationsCalls() const { return m_listCalls; }

    // Convenience for building applications.
    static RunningApplication app(qint64 pid, std::optional<QString> identifier,
                                  ActivationPolicy policy = ActivationPolicy::Regular);

private:
    QList<RunningApplication> m_running;
    QList<RunningApplication> m_requests;
    std::map<ObserverToken, LaunchHandler> m_observers;
    ObserverToken m_nextToken = 1;
    QuitResponse m_defaultResponse = QuitResponse::Quits;
    std::map<qint64, QuitResponse> m_responses;
    int m_listCalls = 0;
};
