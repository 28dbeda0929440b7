#include "platform/DeferredWorkspace.h"

#include "platform/ObserverList.h"

#include <QList>

namespace {

// Where the platform offers no workspace: nothing runs and nothing launches.
class NoWorkspace : public Workspace {
public:
    QList<RunningApplication> runningApplications() override { return {}; }
    bool terminate(const RunningApplication&) override { return false; }
    // Nothing launches, but each registration still gets a token of its own.
    ObserverToken addLaunchObserver(LaunchHandler handler) override {
        return m_observers.add(std::move(handler));
    }
    void removeLaunchObserver(ObserverToken token) override { m_observers.remove(token); }

private:
    ObserverList<LaunchHandler> m_observers;
};

} // namespace

DeferredWorkspace::DeferredWorkspace(Factory factory) : m_factory(std::move(factory)) {}

DeferredWorkspace::~DeferredWorkspace() = default;

QList<RunningApplication> DeferredWorkspace::runningApplications() {
    return workspace().runningApplications();
}

bool DeferredWorkspace::terminate(const RunningApplication& application) {
    return workspace().terminate(application);
}

Workspace::ObserverToken DeferredWorkspace::addLaunchObserver(LaunchHandler handler) {
    return workspace().addLaunchObserver(std::move(handler));
}

void DeferredWorkspace::removeLaunchObserver(ObserverToken token) {
    // Nothing can have been registered before the workspace existed.
    if (m_workspace) {
        m_workspace->removeLaunchObserver(token);
    }
}

Workspace& DeferredWorkspace::workspace() {
    if (!m_workspace) {
        m_workspace = m_factory ? m_factory() : nullptr;
        if (!m_workspace) {
            m_workspace = std::make_unique<NoWorkspace>();
        }
    }
    return *m_workspace;
}
