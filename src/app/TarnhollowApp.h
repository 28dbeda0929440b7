#pragma once

#include "services/FocusSessionManager.h"

#include <functional>
#include <memory>

class QWidget;

// The application: one kind of window, each showing a fresh ContentView.
class TarnhollowApp {
public:
    // Makes each window's controller; the default is on the real system.
    using ControllerFactory = std::function<std::unique_ptr<FocusSessionManager>()>;
    explicit TarnhollowApp(ControllerFactory makeController = realController);

    // The controller on the system's hosts file, runner, workspace and the
    // user's own files.
    static std::unique_ptr<FocusSessionManager> realController();

    // A new top-level window with its own view and controller. Its minimum
    // size follows the content; it has no maximum.
    std::unique_ptr<QWidget> makeWindow() const;

    // Opens the first window and runs until the user quits. While another
    // copy runs for this user, shows that copy's window and returns 0.
    // Qt's own arguments aside, the command line holds at most
    // --resume-session, given by the login entry of an unfinished session.
    int run(int& argc, char** argv) const;

private:
    ControllerFactory m_makeController;
};
