#include "platform/macos/MacWorkspace.h"

#import <AppKit/AppKit.h>

namespace {

RunningApplication describe(NSRunningApplication* app) {
    RunningApplication result;
    if (NSString* identifier = app.bundleIdentifier)
        result.identifier = QString::fromNSString(identifier);
    switch (app.activationPolicy) {
    case NSApplicationActivationPolicyRegular:
        result.activationPolicy = ActivationPolicy::Regular;
        break;
    case NSApplicationActivationPolicyAccessory:
        result.activationPolicy = ActivationPolicy::Accessory;
        break;
    case NSApplicationActivationPolicyProhibited:
        result.activationPolicy = ActivationPolicy::Prohibited;
        break;
    }
    result.pid = app.processIdentifier;
    return result;
}

} // namespace

// One launch-notification registration; removed from the workspace's own
// notification center when it goes.
struct MacWorkspace::Registration {
    id token = nil;
    ~Registration() {
        if (token)
            [NSWorkspace.sharedWorkspace.notificationCenter removeObserver:token];
    }
};

MacWorkspace::MacWorkspace() = default;
MacWorkspace::~MacWorkspace() = default;

QList<RunningApplication> MacWorkspace::runningApplications() {
    QList<RunningApplication> result;
    @autoreleasepool {
        for (NSRunningApplication* app in NSWorkspace.sharedWorkspace.runningApplications)
            result.append(describe(app));
    }
    return result;
}

bool MacWorkspace::terminate(const RunningApplication& application) {
    @autoreleasepool {
        NSRunningApplication* app = [NSRunningApplication
            runningApplicationWithProcessIdentifier:static_cast<pid_t>(application.pid)];
        return app != nil && [app terminate];
    }
}

Workspace::ObserverToken MacWorkspace::addLaunchObserver(LaunchHandler handler) {
    auto registration = std::make_unique<Registration>();
    LaunchHandler callback = std::move(handler);
    registration->token = [NSWorkspace.sharedWorkspace.notificationCenter
        addObserverForName:NSWorkspaceDidLaunchApplicationNotification
                    object:nil
                     queue:NSOperationQueue.mainQueue
                usingBlock:^(NSNotification* note) {
                  id app = note.userInfo[NSWorkspaceApplicationKey];
                  if (![app isKindOfClass:NSRunningApplication.class])
                      return;
                  callback(describe(static_cast<NSRunningApplication*>(app)));
                }];
    return m_observers.add(std::move(registration));
}

void MacWorkspace::removeLaunchObserver(ObserverToken token) {
    m_observers.remove(token);
}
