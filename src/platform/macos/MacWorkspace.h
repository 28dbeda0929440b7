#pragma once

#include "platform/ObserverList.h"
#include "platform/Workspace.h"

#include <memory>

// NSWorkspace behind the workspace interface. Pure C++ header; the
// Objective-C++ lives in MacWorkspace.mm.
class MacWorkspace : public Workspace {
public:
    MacWorkspace();
    ~MacWorkspace() override;

    QList<RunningApplication> runningApplications() override;
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override;

private:
    struct Registration;
    // Each registration calls its handler from the notification center.
    ObserverList<std::unique_ptr<Registration>> m_observers;
};
