#include "platform/linux/quit/QuitRequester.h"

#include <csignal>

QuitRequester::QuitRequester(QDBusConnection bus, X11WindowDirectory& windows)
    : m_actions(std::move(bus)), m_windows(windows) {}

bool QuitRequester::requestQuit(const QString& desktopId, qint64 topPid,
                                const QList<qint64>& processes,
                                std::function<bool()> stillCurrent) {
    if (m_asking.contains(topPid))
        return true;
    // m_actions is ours, and its answers go with it: this outlives them.
    const bool asking = m_actions.requestQuit(
        desktopId, [this, topPid, processes, stillCurrent = std::move(stillCurrent)](bool sent) {
            m_asking.remove(topPid);
            // The PID may have been reused while the bus answered.
            if (!sent && stillCurrent && stillCurrent())
                closeOrTerminate(topPid, processes);
        });
    if (asking) {
        m_asking.insert(topPid);
        return true;
    }
    return closeOrTerminate(topPid, processes);
}

bool QuitRequester::closeOrTerminate(qint64 topPid, const QList<qint64>& processes) {
    if (m_windows.requestClose(processes) > 0)
        return true;
    return topPid > 1 && ::kill(pid_t(topPid), SIGTERM) == 0;
}
