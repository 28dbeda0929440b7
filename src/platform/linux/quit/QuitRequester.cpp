#include "platform/linux/quit/QuitRequester.h"

#include <csignal>

QuitRequester::QuitRequester(QDBusConnection bus, QByteArray displayName)
    : m_actions(std::move(bus)), m_windows(std::move(displayName)) {}

QuitRequester::Channel QuitRequester::requestQuit(const QString& desktopId, qint64 topPid,
                                                  const QList<qint64>& processes) {
    if (m_actions.requestQuit(desktopId))
        return Channel::QuitAction;
    if (m_windows.requestClose(processes) > 0)
        return Channel::WindowClose;
    if (topPid > 1 && ::kill(pid_t(topPid), SIGTERM) == 0)
        return Channel::Terminate;
    return Channel::None;
}
