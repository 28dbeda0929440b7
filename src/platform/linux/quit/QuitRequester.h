#pragma once

#include "platform/linux/quit/ApplicationActionQuitter.h"
#include "platform/linux/x11/X11WindowCloser.h"

#include <QList>
#include <QString>

// Asks an application to quit through the first channel it offers: its own
// quit action on the session bus, WM_DELETE_WINDOW to its windows, SIGTERM
// to its top process. Nothing stronger, ever.
class QuitRequester {
public:
    enum class Channel { None, QuitAction, WindowClose, Terminate };

    QuitRequester(QDBusConnection bus, QByteArray displayName);

    // processes: all of the application's processes, top included; they
    // belong to the user and were checked to be current by the caller.
    Channel requestQuit(const QString& desktopId, qint64 topPid, const QList<qint64>& processes);

private:
    ApplicationActionQuitter m_actions;
    X11WindowCloser m_windows;
};
