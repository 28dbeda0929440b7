#include "platform/linux/workspace/ProcScanner.h"

#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/x11/X11WindowDirectory.h"

#include <time.h>
#include <unistd.h>

namespace {

// A process this young may still be on its way from a launcher to the
// program it starts (fork, move into its unit, exec).
constexpr quint64 youngSeconds = 2;

} // namespace

ProcScanner::ProcScanner(const DesktopEntryIndex& index, X11WindowDirectory* windows,
                         const QString& procRoot, uid_t uid)
    : m_index(index), m_identity(index), m_windows(windows), m_proc(procRoot), m_uid(uid),
      m_ticksPerSecond(quint64(::sysconf(_SC_CLK_TCK))) {}

ProcScanner::~ProcScanner() = default;

quint64 ProcScanner::nowTicks() const {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return quint64(now.tv_sec) * m_ticksPerSecond +
           quint64(now.tv_nsec) * m_ticksPerSecond / 1000000000ULL;
}

void ProcScanner::identify(qint64 pid, Process& process) const {
    const auto readEnviron = [this, pid](QByteArray& out) {
        return m_proc.readFile(pid, "environ", out, 4 * 1024 * 1024);
    };
    process.own = m_identity.identify({pid, process.cgroup, process.exe, readEnviron});
}

bool ProcScanner::applyWindows() {
    m_windowsChanged = false;
    m_windowsRetry = false;
    bool named = false;
    for (const X11WindowDirectory::Client& client : m_windows->clients()) {
        const auto process = m_processes.find(client.pid);
        if (process == m_processes.end()) {
            m_windowsRetry = true;
            continue;
        }
        // Window properties are read only where a window could win.
        if (!process->ours || !ProcessIdentity::windowsMayName(process->own) || process->windowId)
            continue;
        process->windowId = m_identity.windowName(m_windows->names(client.window));
        named = named || process->windowId.has_value();
    }
    return named;
}

void ProcScanner::settleIdentities() {
    bool windowed = false;
    for (Process& process : m_processes) {
        const auto settled = ProcessIdentity::settle(process.own, process.windowId);
        process.id = process.ours ? settled.id : std::nullopt;
        windowed = windowed || (process.ours && ProcessIdentity::lendsToHelpers(settled));
    }
    if (!windowed)
        return;
    // Anything with a name of its own, say a program started from a listed
    // terminal, stays apart.
    for (auto it = m_processes.begin(); it != m_processes.end(); ++it) {
        if (!it->ours || it->id)
            continue;
        auto parent = m_processes.constFind(it->ppid);
        for (int depth = 0; depth < 64 && parent != m_processes.cend() && parent->ours; ++depth) {
            const auto settled = ProcessIdentity::settle(parent->own, parent->windowId);
            if (settled.id) {
                if (ProcessIdentity::lendsToHelpers(settled))
                    it->id = settled.id;
                break;
            }
            parent = m_processes.constFind(parent->ppid);
        }
    }
}

bool ProcScanner::isYoung(const Process& process, quint64 now) const {
    return process.ours && now < process.startTime + youngSeconds * m_ticksPerSecond;
}

bool ProcScanner::recheckYoung(qint64 pid, Process& process, quint64 now) {
    if (!isYoung(process, now))
        return false;
    m_youngPids << pid;
    // An exec shows as a new stack address (randomised per exec), even when
    // a process execs its own program again; a unit move as a new cgroup.
    qint64 ppid = 0;
    quint64 startTime = 0;
    quint64 startStack = 0;
    QByteArray cgroup;
    if (!m_proc.readStat(pid, ppid, startTime, &startStack) || startTime != process.startTime ||
        !m_proc.readFile(pid, "cgroup", cgroup, 64 * 1024))
        return false;
    QByteArray exe = m_proc.readExe(pid);
    if (cgroup == process.cgroup && exe == process.exe && startStack == process.startStack)
        return false;
    // After an exec the windows belong to a program gone; after a move the
    // unit may now name it. Either way its windows are asked again.
    const bool hadWindowId = std::exchange(process.windowId, std::nullopt).has_value();
    m_windowsChanged = m_windowsChanged || hadWindowId;
    process.cgroup = std::move(cgroup);
    process.exe = std::move(exe);
    process.startStack = startStack;
    const ProcessIdentity::Name before = process.own;
    identify(pid, process);
    return hadWindowId || process.own.id != before.id ||
           ProcessIdentity::windowsMayName(process.own) != ProcessIdentity::windowsMayName(before);
}

qint64 ProcScanner::lastCreatedPid(qint64* tasks) const {
    // The last field of loadavg is the PID most recently handed out, the
    // one before it "running/existing" tasks.
    QByteArray loadavg;
    if (tasks != nullptr)
        *tasks = -1;
    if (!m_proc.isOpen() || !m_proc.readFile(0, "loadavg", loadavg, 256))
        return -1;
    const QList<QByteArray> fields = loadavg.trimmed().split(' ');
    bool ok = false;
    const qint64 pid = fields.value(4).toLongLong(&ok);
    if (ok && tasks != nullptr) {
        const qint64 count = fields.value(3).mid(fields.value(3).indexOf('/') + 1).toLongLong(&ok);
        *tasks = ok ? count : -1;
    }
    return ok ? pid : -1;
}

QList<RunningApplication> ProcScanner::scanForLaunches() {
    if (m_windows != nullptr && m_windows->takeChanges())
        m_windowsChanged = true;
    const qint64 lastPid = lastCreatedPid();
    if (lastPid < 0 || lastPid != m_lastCreatedPid || m_reidentifyAll)
        return scan();
    // No process was created since the last scan: only the young ones can
    // have turned into an application, by exec or by moving to a unit.
    const quint64 now = nowTicks();
    const QList<qint64> young = std::exchange(m_youngPids, {});
    bool changed = false;
    for (const qint64 pid : young) {
        const auto known = m_processes.find(pid);
        if (known != m_processes.end())
            changed = recheckYoung(pid, *known, now) || changed;
    }
    if (m_windowsChanged)
        changed = applyWindows() || changed;
    return changed ? settle() : QList<RunningApplication>();
}

bool ProcScanner::isTop(const Process& process) const {
    const auto parent = m_processes.constFind(process.ppid);
    return parent == m_processes.constEnd() || !parent->ours || parent->id != process.id;
}

QList<RunningApplication> ProcScanner::scan() {
    if (!m_proc.canList())
        return {};
    // Read first: a process created during the listing changes it again.
    qint64 tasks = -1;
    const qint64 lastPid = lastCreatedPid(&tasks);
    const quint64 now = nowTicks();
    const bool reidentify = std::exchange(m_reidentifyAll, false);
    if (m_windows != nullptr && (m_windows->takeChanges() || reidentify))
        m_windowsChanged = true;
    // No PID handed out (so none reused) and no task reaped since the last
    // listing: /proc lists the same processes. The listing costs kernel
    // time per process, which grows faster than the process count.
    const bool sameTasks = !reidentify && lastPid >= 0 && tasks >= 0 &&
                           lastPid == m_lastCreatedPid && tasks == m_taskCount;
    m_lastCreatedPid = lastPid;
    m_taskCount = tasks;
    if (sameTasks) {
        for (const qint64 pid : std::exchange(m_youngPids, {})) {
            const auto known = m_processes.find(pid);
            if (known != m_processes.end())
                recheckYoung(pid, *known, now);
        }
    } else {
        list(reidentify, now);
    }
    if (m_windows != nullptr && (m_windowsChanged || m_windowsRetry))
        applyWindows();
    return settle();
}

void ProcScanner::list(bool reidentify, quint64 now) {
    m_youngPids.clear();
    const quint64 generation = ++m_generation;
    m_proc.rewind();
    qint64 pid = 0;
    ino_t inode = 0;
    while (m_proc.next(pid, inode)) {
        auto known = m_processes.find(pid);
        // The same directory inode means the same process; a new one is
        // checked against the start time before anything is read again.
        if (known != m_processes.end() && known->inode == inode && !reidentify) {
            known->generation = generation;
            recheckYoung(pid, *known, now);
            continue;
        }
        qint64 ppid = 0;
        quint64 startTime = 0;
        quint64 startStack = 0;
        if (!m_proc.readStat(pid, ppid, startTime, &startStack))
            continue; // gone meanwhile
        if (known != m_processes.end() && known->startTime == startTime) {
            known->inode = inode;
            known->generation = generation;
            if (reidentify && known->ours) {
                identify(pid, *known);
                known->windowId.reset();
            }
            recheckYoung(pid, *known, now);
            continue;
        }
        Process process;
        process.ppid = ppid;
        process.startTime = startTime;
        process.startStack = startStack;
        process.inode = inode;
        process.generation = generation;
        const std::optional<uid_t> owner = m_proc.ownerOf(pid);
        if (!owner)
            continue;
        process.ours = *owner == m_uid;
        if (process.ours) {
            if (!m_proc.readFile(pid, "cgroup", process.cgroup, 64 * 1024))
                continue;
            process.exe = m_proc.readExe(pid);
            identify(pid, process);
            if (isYoung(process, now))
                m_youngPids << pid;
        }
        m_processes.insert(pid, std::move(process));
    }

    m_processes.removeIf(
        [generation](const auto& it) { return it.value().generation != generation; });
}

QList<RunningApplication> ProcScanner::settle() {
    QList<RunningApplication> launched;
    m_topPids.clear();
    settleIdentities();
    for (auto it = m_processes.begin(); it != m_processes.end(); ++it) {
        Process& process = it.value();
        if (!process.ours || !process.id)
            continue;
        // An orphan is adopted by another process: learn its new parent.
        if (!m_processes.contains(process.ppid)) {
            qint64 ppid = 0;
            quint64 startTime = 0;
            if (m_proc.readStat(it.key(), ppid, startTime))
                process.ppid = ppid;
        }
    }
    for (auto it = m_processes.begin(); it != m_processes.end(); ++it) {
        Process& process = it.value();
        if (!process.ours || !process.id)
            continue;
        const bool top = isTop(process);
        if (top)
            m_topPids << it.key();
        if (process.announcedId != process.id) {
            process.announcedId = process.id;
            if (top)
                launched << RunningApplication{process.id, ActivationPolicy::Regular, it.key()};
        }
    }
    for (RunningApplication& application : launched) {
        if (m_index.isBackgroundOnly(*application.identifier))
            application.activationPolicy = ActivationPolicy::Prohibited;
    }
    return launched;
}

QList<RunningApplication> ProcScanner::applications() const {
    QList<RunningApplication> out;
    out.reserve(m_topPids.size());
    for (const qint64 pid : m_topPids) {
        const Process& process = m_processes[pid];
        out << RunningApplication{process.id,
                                  m_index.isBackgroundOnly(*process.id)
                                      ? ActivationPolicy::Prohibited
                                      : ActivationPolicy::Regular,
                                  pid};
    }
    return out;
}

QList<qint64> ProcScanner::processesOf(const RunningApplication& top) const {
    QList<qint64> out;
    if (!top.identifier)
        return out;
    for (auto it = m_processes.cbegin(); it != m_processes.cend(); ++it) {
        if (!it->ours || it->id != top.identifier)
            continue;
        // Walk up through the application's own processes to its top.
        qint64 pid = it.key();
        for (int depth = 0; depth < 64; ++depth) {
            if (pid == top.pid) {
                out << it.key();
                break;
            }
            const auto parent = m_processes.constFind(m_processes[pid].ppid);
            if (parent == m_processes.cend() || !parent->ours || parent->id != top.identifier)
                break;
            pid = parent.key();
        }
    }
    return out;
}

bool ProcScanner::isCurrent(const RunningApplication& application) const {
    const auto known = m_processes.constFind(application.pid);
    if (known == m_processes.cend() || !known->ours || known->id != application.identifier)
        return false;
    qint64 ppid = 0;
    quint64 startTime = 0;
    if (!m_proc.readStat(application.pid, ppid, startTime) || startTime != known->startTime)
        return false;
    return m_proc.ownerOf(application.pid) == m_uid;
}
