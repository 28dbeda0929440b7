#include "fakes/FakeWorkspace.h"

bool FakeWorkspace::terminate(const RunningApplication& application) {
    m_terminated.append(application.pid);
    // Every application asked quits.
    m_running.removeIf([&](const RunningApplication& a) { return a.pid == application.pid; });
    return true;
}

Workspace::ObserverToken FakeWorkspace::addLaunchObserver(LaunchHandler handler) {
    m_observers.emplace(m_nextToken, std::move(handler));
    return m_nextToken++;
}

void FakeWorkspace::launch(const RunningApplication& application) {
    m_running.append(application);
    for (const auto& observer : m_observers)
        observer.second(application);
}
