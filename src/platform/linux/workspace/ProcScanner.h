#pragma once

#include "platform/Workspace.h"
#include "platform/linux/workspace/ProcDirectory.h"
#include "platform/linux/workspace/ProcessIdentity.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <unistd.h>

#include <optional>

class DesktopEntryIndex;
class X11WindowDirectory;

// The current user's application processes, read from /proc. What cannot
// change for a living process is kept between scans (keyed by PID and start
// time), so a scan of an unchanged system only lists /proc, or reads just
// loadavg while no task was created or reaped. With windows,
// a process the launch leaves unnamed is named by its X11 windows.
class ProcScanner {
public:
    explicit ProcScanner(const DesktopEntryIndex& index, X11WindowDirectory* windows = nullptr,
                         const QString& procRoot = QStringLiteral("/proc"), uid_t uid = ::getuid());
    ~ProcScanner();
    ProcScanner(const ProcScanner&) = delete;
    ProcScanner& operator=(const ProcScanner&) = delete;

    // Brings the process table up to date. Returns the applications that
    // appeared since the previous scan (or got their identifier since).
    QList<RunningApplication> scan();
    // The same, cheaper for frequent calls: the process list is read only
    // when a process was created since the last scan.
    QList<RunningApplication> scanForLaunches();
    // The applications as of the last scan, each as its top process.
    QList<RunningApplication> applications() const;
    // Every process of the application whose top process is top.pid.
    QList<qint64> processesOf(const RunningApplication& top) const;
    // Whether the application's top process still is the one scanned and
    // still belongs to the user.
    bool isCurrent(const RunningApplication& application) const;
    // Identifies every process afresh at the next scan, say after the
    // desktop entries changed.
    void forgetIdentities() { m_reidentifyAll = true; }
    // Whether, as of the last scan, a process of the user is young enough
    // to turn into an application yet.
    bool hasYoungProcesses() const { return !m_youngPids.isEmpty(); }

private:
    struct Process {
        qint64 ppid = 0;
        quint64 startTime = 0;
        quint64 startStack = 0;
        ino_t inode = 0;
        bool ours = false;
        // What the scan settled on: its own name or its windows', or one
        // inherited from a windowed ancestor.
        std::optional<QString> id;
        // Named by everything but its windows, which are asked later.
        ProcessIdentity::Name own;
        std::optional<QString> windowId;
        std::optional<QString> announcedId;
        QByteArray exe;
        QByteArray cgroup;
        quint64 generation = 0;
    };

    void identify(qint64 pid, Process& process) const;
    // Names processes without a launch identifier by their windows; returns
    // whether any got a new name.
    bool applyWindows();
    void settleIdentities();
    bool isYoung(const Process& process, quint64 nowTicks) const;
    // Identifies a young process again if it exec'd or moved; returns
    // whether its identifier changed.
    bool recheckYoung(qint64 pid, Process& process, quint64 nowTicks);
    // With tasks, also reads how many tasks (threads) exist; -1 if unknown.
    qint64 lastCreatedPid(qint64* tasks = nullptr) const;
    // Lists /proc, reading only new processes.
    void list(bool reidentify, quint64 nowTicks);
    // Works out top processes and announces new applications.
    QList<RunningApplication> settle();
    bool isTop(const Process& process) const;
    quint64 nowTicks() const;

    const DesktopEntryIndex& m_index;
    const ProcessIdentity m_identity;
    X11WindowDirectory* m_windows;
    // Windows changed since they were last applied; a window's process not
    // listed yet is looked for again at the next full scan.
    bool m_windowsChanged = false;
    bool m_windowsRetry = false;
    ProcDirectory m_proc;
    uid_t m_uid;
    quint64 m_ticksPerSecond;
    quint64 m_generation = 0;
    bool m_reidentifyAll = false;
    QHash<qint64, Process> m_processes;
    QList<qint64> m_topPids;
    QList<qint64> m_youngPids;
    qint64 m_lastCreatedPid = -1;
    qint64 m_taskCount = -1;
};
