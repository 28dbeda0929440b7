#include "fakes/FakeWorkspace.h"

QList<RunningApplication> FakeWorkspace::runningApplications() {
    ++m_listCalls;
    return m_running;
}

bool FakeWorkspace::terminate(const RunningApplication& application) {
    m_requests.append(application);
    const auto found = m_responses.find(application.pid);
    const QuitResponse response = found == m_responses.end() ? m_defaultResponse : found->second;
    if (response == QuitResponse::Quits)
        m_running.removeIf([&](const RunningApplication& a) { return a.pid == application.pid; });
    return response != QuitResponse::Undelivered;
}

Workspace::ObserverToken FakeWorkspace::addLaunchObserver(LaunchHandler handler) {
    m_observers.emplace(m_nextToken, std::move(handler));
    return m_nextToken++;
}

void FakeWorkspace::launch(const RunningApplication& application) {
    m_running.append(application);
    // Handlers may add or remove observers; only those still there are told.
    QList<ObserverToken> tokens;
    for (const auto& entry : m_observers)
        tokens.append(entry.first);
    for (ObserverToken token : tokens) {
        if (const auto found = m_observers.find(token); found != m_observers.end())
            LaunchHandler(found->second)(application);
    }
}

QList<qint64> FakeWorkspace::terminatedPids() const {
    QList<qint64> pids;
    for (const auto& a : m_requests)
        pids.append(a.pid);
    return pids;
}
