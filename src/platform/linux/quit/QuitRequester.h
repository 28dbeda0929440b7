#pragma once

#include "platform/linux/quit/ApplicationActionQuitter.h"
#include "platform/linux/x11/X11WindowCloser.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class X11WindowDirectory;

// Asks an application to quit through the first channel it offers: its own
// quit action on the session bus, WM_DELETE_WINDOW to its windows, SIGTERM
// to its top process. Nothing stronger, ever. The bus is never waited for:
// the next channel is tried once it has answered or timed out.
class QuitRequester {
public:
    // `windows` must outlive the requester.
    QuitRequester(QDBusConnection bus, X11WindowDirectory& windows);

    // processes: all of the application's processes, top included; they
    // belong to the user and were checked to be current by the caller.
    // stillCurrent checks that again before a later channel is tried.
    // Returns whether a request went out or is on its way.
    bool requestQuit(const QString& desktopId, qint64 topPid, const QList<qint64>& processes,
                     std::function<bool()> stillCurrent);

private:
    // The channels after the quit action.
    bool closeOrTerminate(qint64 topPid, const QList<qint64>& processes);

    ApplicationActionQuitter m_actions;
    X11WindowCloser m_windows;
    // Top processes whose quit action is being asked about: asked once.
    QSet<qint64> m_asking;
};
