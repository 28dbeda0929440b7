#include "fakes/FakeWorkspace.h"

bool FakeWorkspace::terminate(const RunningApplication& application) {
    m_terminated.append(application.pid);
    // Every application asked quits.
    m_running.removeIf([&](const RunningApplication& a) { return a.pid == application.pid; });
    return true;
}

Workspace::ObserverToken FakeWorkspace::addLaunchObserver(LaunchHandler handler) {
    return m_observers.add(std::move(handler));
}

void FakeWorkspace::launch(const RunningApplication& application) {
    m_running.append(application);
    m_observers.notify(application);
}
