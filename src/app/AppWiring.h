#pragma once

#include "platform/InstalledApplications.h"
#include "platform/SessionActivity.h"
#include "platform/SessionNotifier.h"
#include "services/FocusSessionManager.h"

#include <functional>
#include <memory>

// What each window is built from. The one place the real system is wired is
// system(); tests hand in their own factories.
struct AppWiring {
    std::function<std::unique_ptr<FocusSessionManager>()> controller;
    std::function<std::unique_ptr<InstalledApplications>()> installedApplications;
    std::function<std::unique_ptr<SessionNotifier>()> notifier;
    // Held while the window's session is active.
    std::function<std::unique_ptr<SessionActivity>()> sessionActivity;
    // Once a window has shown its first frame: reads ahead what a session's
    // start will need. May be empty.
    std::function<void()> afterFirstPaint;

    // The system's hosts file, privileged runner, workspace, clocks and the
    // user's own files.
    static AppWiring system();
};
