#include "fakes/FakeWorkspace.h"

#include <vector>

QList<RunningApplication> FakeWorkspace::runningApplications() {
    ++m_listCalls;
    return m_running;
}

bool FakeWorkspace::terminate(const RunningApplication& application) {
    m_requests.append(application);
    const auto found = m_responses.find(application.pid);
    const QuitResponse response = found == m_responses.end() ? m_defaultResponse : found->second;
    switch (response) {
    case QuitResponse::Quits:
        removeRunningApplication(application.pid);
        return true;
    case QuitResponse::Declines:
        return true;
    case QuitResponse::Undelivered:
        return false;
    }
    return false;
}

Workspace::ObserverToken FakeWorkspace::addLaunchObserver(LaunchHandler handler) {
    const ObserverToken token = m_nextToken++;
    m_observers.emplace(token, std::move(handler));
    return token;
}

void FakeWorkspace::removeLaunchObserver(ObserverToken token) {
    m_observers.erase(token);
}

void FakeWorkspace::setRunningApplications(const QList<RunningApplication>& applications) {
    m_running = applications;
}

void FakeWorkspace::addRunningApplication(const RunningApplication& application) {
    m_running.append(application);
}

void FakeWorkspace::removeRunningApplication(qint64 pid) {
    m_running.removeIf([pid](const RunningApplication& a) { return a.pid == pid; });
}

void FakeWorkspace::launch(const RunningApplication& application, bool addToRunning) {
    if (addToRunning)
        addRunningApplication(application);
    // A handler may add or remove observers while we deliver; only those
    // still registered when their turn comes are called.
    std::vector<ObserverToken> tokens;
    for (const auto& [token, handler] : m_observers)
        tokens.push_back(token);
    for (ObserverToken token : tokens) {
        const auto found = m_observers.find(token);
        if (found == m_observers.end())
            continue;
        const LaunchHandler handler = found->second;
        handler(application);
    }
}

bool FakeWorkspace::isRunning(qint64 pid) const {
    for (const auto& a : m_running)
        if (a.pid == pid)
            return true;
    return false;
}

QList<qint64> FakeWorkspace::terminatedPids() const {
    QList<qint64> pids;
    for (const auto& a : m_requests)
        pids.append(a.pid);
    return pids;
}

int FakeWorkspace::terminateCount(qint64 pid) const {
    int count = 0;
    for (const auto& a : m_requests)
        count += a.pid == pid ? 1 : 0;
    return count;
}

RunningApplication FakeWorkspace::app(qint64 pid, std::optional<QString> identifier,
                                      ActivationPolicy policy) {
    RunningApplication a;
    a.pid = pid;
    a.identifier = std::move(identifier);
    a.activationPolicy = policy;
    return a;
}
