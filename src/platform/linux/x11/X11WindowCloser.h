#pragma once

#include <QList>

class X11WindowDirectory;

// Closes an application's X11 windows the way their close button does:
// WM_DELETE_WINDOW to each top-level window that takes it.
class X11WindowCloser {
public:
    // `windows` must outlive the closer.
    explicit X11WindowCloser(X11WindowDirectory& windows);

    // Sends WM_DELETE_WINDOW to every top-level window the directory finds
    // owned by one of pids whose WM_PROTOCOLS lists it. Returns how many got it.
    int requestClose(const QList<qint64>& pids);

private:
    X11WindowDirectory& m_windows;
};
