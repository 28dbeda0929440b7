#pragma once

#include "platform/Workspace.h"

#include <functional>
#include <memory>

// Creates the real workspace only when it is first needed, at a session's
// start, so that opening the window does not wait for the desktop-entry index,
// the process table and the session bus.
class DeferredWorkspace : public Workspace {
public:
    using Factory = std::function<std::unique_ptr<Workspace>()>;

    explicit DeferredWorkspace(Factory factory);
    ~DeferredWorkspace() override;

    QList<RunningApplication> runningApplications() override;
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override;

private:
    Workspace& workspace();

    Factory m_factory;
    std::unique_ptr<Workspace> m_workspace;
};
