#pragma once

#include <QWidget>

// Gives a window the focus on X11 when another process asked for it. Qt
// stamps its own request with the time of the last event it saw, which is
// older than the launch that asked, so the window manager (or, without
// one, the X server) would turn it down.
class X11Activation {
public:
    // Does nothing off X11.
    static void activate(const QWidget& window);
};
