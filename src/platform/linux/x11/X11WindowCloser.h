#pragma once

#include "platform/linux/x11/XcbConnection.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

// Closes an application's X11 windows the way their close button does:
// WM_DELETE_WINDOW to each top-level window that takes it.
class X11WindowCloser {
public:
    // An empty display name means there is no X display to talk to.
    explicit X11WindowCloser(QByteArray displayName);
    ~X11WindowCloser();
    X11WindowCloser(const X11WindowCloser&) = delete;
    X11WindowCloser& operator=(const X11WindowCloser&) = delete;

    // Sends WM_DELETE_WINDOW to every top-level window whose _NET_WM_PID is
    // one of pids and whose WM_PROTOCOLS lists it. Returns how many got it.
    int requestClose(const QList<qint64>& pids);

private:
    QList<std::uint32_t> topLevelWindows(std::uint32_t root);

    XcbConnection m_x;
};
