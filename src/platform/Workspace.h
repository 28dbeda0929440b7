#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

enum class ActivationPolicy { Regular = 0, Accessory = 1, Prohibited = 2 };

// One running application of the user, as the workspace sees it.
struct RunningApplication {
    // Bundle identifier (macOS) or desktop-entry ID (Linux); absent when the
    // process is not an application.
    std::optional<QString> identifier;
    // Prohibited marks a background-only application.
    ActivationPolicy activationPolicy = ActivationPolicy::Regular;
    // The application's top process.
    qint64 pid = 0;
};

// The user's running applications, launch events and the polite quit request.
// Everything is called and delivered on the main thread.
class Workspace {
public:
    using LaunchHandler = std::function<void(const RunningApplication&)>;
    using ObserverToken = std::uint64_t;

    virtual ~Workspace() = default;

    virtual QList<RunningApplication> runningApplications() = 0;
    // Asks the application to quit as the user's own Quit would; it may
    // decline. Returns whether the request went out.
    virtual bool terminate(const RunningApplication& application) = 0;

    // Each launch of an application is delivered once to every registered
    // handler until it is removed. Removing an unknown token does nothing.
    virtual ObserverToken addLaunchObserver(LaunchHandler handler) = 0;
    virtual void removeLaunchObserver(ObserverToken token) = 0;
};
