#pragma once

#include "app/AppWiring.h"
#include "ui/ContentView.h"

#include <memory>

// The application: one kind of window, each showing a fresh ContentView.
class TarnhollowApp {
public:
    explicit TarnhollowApp(AppWiring wiring = AppWiring::system());

    // A new top-level window with its own view and controller. Its minimum
    // size follows the content; it has no maximum.
    std::unique_ptr<ContentView> makeWindow() const;

    // Opens the first window and runs until the user quits. While another
    // copy runs for this user, shows that copy's window and returns 0.
    // Qt's own arguments aside, the command line holds at most
    // --resume-session, given by the login entry of an unfinished session.
    int run(int& argc, char** argv) const;

private:
    AppWiring m_wiring;
};
