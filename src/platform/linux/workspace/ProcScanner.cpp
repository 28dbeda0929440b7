#include "platform/linux/workspace/ProcScanner.h"

#include "platform/linux/workspace/CgroupIdentity.h"
#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/x11/X11WindowDirectory.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace {

// A process this young may still be on its way from a launcher to the
// program it starts (fork, move into its unit, exec).
constexpr quint64 youngSeconds = 2;

bool parsePid(const char* name, qint64& pid) {
    pid = 0;
    if (*name == '\0')
        return false;
    for (const char* c = name; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        pid = pid * 10 + (*c - '0');
    }
    return pid > 0;
}

std::optional<QString> gioIdentifier(const QByteArray& environ, qint64 pid,
                                     const DesktopEntryIndex& index) {
    static const QByteArray fileKey = "GIO_LAUNCHED_DESKTOP_FILE=";
    static const QByteArray pidKey = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    QByteArray file;
    bool pidMatches = false;
    for (const QByteArray& var : environ.split('\0')) {
        if (var.startsWith(fileKey))
            file = var.mid(fileKey.size());
        else if (var.startsWith(pidKey))
            pidMatches = var.mid(pidKey.size()) == QByteArray::number(pid);
    }
    // Children inherit the variable; only the launched process itself counts.
    if (file.isEmpty() || !pidMatches)
        return std::nullopt;
    return index.identifierForFile(QFile::decodeName(file));
}

} // namespace

ProcScanner::ProcScanner(const DesktopEntryIndex& index, X11WindowDirectory* windows,
                         const QString& procRoot, uid_t uid)
    : m_index(index), m_windows(windows), m_uid(uid),
      m_ticksPerSecond(quint64(::sysconf(_SC_CLK_TCK))) {
    m_procFd = ::open(QFile::encodeName(procRoot).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_procFd >= 0) {
        const int listFd = ::dup(m_procFd);
        m_dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (m_dir == nullptr && listFd >= 0)
            ::close(listFd);
    }
}

ProcScanner::~ProcScanner() {
    if (m_dir != nullptr)
        ::closedir(m_dir);
    if (m_procFd >= 0)
        ::close(m_procFd);
}

quint64 ProcScanner::nowTicks() const {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return quint64(now.tv_sec) * m_ticksPerSecond +
           quint64(now.tv_nsec) * m_ticksPerSecond / 1000000000ULL;
}

bool ProcScanner::readFile(qint64 pid, const char* name, QByteArray& out, qsizetype limit) const {
    char path[64];
    if (pid > 0)
        std::snprintf(path, sizeof path, "%lld/%s", static_cast<long long>(pid), name);
    else
        std::snprintf(path, sizeof path, "%s", name);
    const int fd = ::openat(m_procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.resize(4096);
    qsizetype used = 0;
    for (;;) {
        if (used == out.size()) {
            if (out.size() >= limit)
                break;
            out.resize(std::min(out.size() * 4, limit));
        }
        const ssize_t n = ::read(fd, out.data() + used, size_t(out.size() - used));
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        used += n;
    }
    ::close(fd);
    out.truncate(used);
    return true;
}

bool ProcScanner::readStat(qint64 pid, qint64& ppid, quint64& startTime,
                           quint64* startStack) const {
    QByteArray stat;
    if (!readFile(pid, "stat", stat, 4096))
        return false;
    // The command name may hold spaces and parentheses: fields follow the last ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 26)
        return false;
    bool ok1 = false;
    bool ok2 = false;
    ppid = fields[1].toLongLong(&ok1);
    startTime = fields[19].toULongLong(&ok2);
    if (startStack != nullptr)
        *startStack = fields[25].toULongLong();
    return ok1 && ok2;
}

QByteArray ProcScanner::readExe(qint64 pid) const {
    char path[64];
    std::snprintf(path, sizeof path, "%lld/exe", static_cast<long long>(pid));
    char target[4096];
    const ssize_t n = ::readlinkat(m_procFd, path, target, sizeof target);
    if (n <= 0)
        return {};
    QByteArray exe(target, n);
    if (exe.endsWith(" (deleted)"))
        exe.chop(10);
    return exe;
}

void ProcScanner::identify(qint64 pid, Process& process) const {
    process.ownId.reset();
    process.fromLaunch = true;
    if (auto id = CgroupIdentity::fromFile(process.cgroup)) {
        process.ownId = std::move(id);
        return;
    }
    QByteArray environ;
    if (readFile(pid, "environ", environ, 4 * 1024 * 1024)) {
        if (auto id = gioIdentifier(environ, pid, m_index)) {
            process.ownId = std::move(id);
            return;
        }
    }
    process.fromLaunch = false;
    if (!process.exe.isEmpty())
        process.ownId = m_index.identifierForExecutable(process.exe);
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
        // Units and launch environments win, Flatpak and Snap sandboxes
        // among them; window properties are read only for the rest.
        if (!process->ours || process->fromLaunch || process->windowId)
            continue;
        process->windowId = m_index.identifierForWindow(m_windows->names(client.window));
        named = named || process->windowId.has_value();
    }
    return named;
}

void ProcScanner::settleIdentities() {
    bool windowed = false;
    for (Process& process : m_processes) {
        const bool byWindow = process.ours && !process.fromLaunch && process.windowId;
        process.id = !process.ours ? std::nullopt : byWindow ? process.windowId : process.ownId;
        windowed = windowed || byWindow;
    }
    if (!windowed)
        return;
    // Helpers of a windowed application (a browser's renderers) join it;
    // anything with a name of its own, say a program started from a listed
    // terminal, stays apart.
    for (auto it = m_processes.begin(); it != m_processes.end(); ++it) {
        if (!it->ours || it->id)
            continue;
        auto parent = m_processes.constFind(it->ppid);
        for (int depth = 0; depth < 64 && parent != m_processes.cend() && parent->ours; ++depth) {
            if (parent->ownId || parent->windowId) {
                if (!parent->fromLaunch && parent->windowId)
                    it->id = parent->windowId;
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
    if (!readStat(pid, ppid, startTime, &startStack) || startTime != process.startTime ||
        !readFile(pid, "cgroup", cgroup, 64 * 1024))
        return false;
    QByteArray exe = readExe(pid);
    if (cgroup == process.cgroup && exe == process.exe && startStack == process.startStack)
        return false;
    // After an exec the windows belong to a program gone; after a move the
    // unit may now name it. Either way its windows are asked again.
    const bool hadWindowId = std::exchange(process.windowId, std::nullopt).has_value();
    m_windowsChanged = m_windowsChanged || hadWindowId;
    process.cgroup = std::move(cgroup);
    process.exe = std::move(exe);
    process.startStack = startStack;
    const std::optional<QString> before = process.ownId;
    const bool wasFromLaunch = process.fromLaunch;
    identify(pid, process);
    return hadWindowId || process.ownId != before || process.fromLaunch != wasFromLaunch;
}

qint64 ProcScanner::lastCreatedPid(qint64* tasks) const {
    // The last field of loadavg is the PID most recently handed out, the
    // one before it "running/existing" tasks.
    QByteArray loadavg;
    if (tasks != nullptr)
        *tasks = -1;
    if (m_procFd < 0 || !readFile(0, "loadavg", loadavg, 256))
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
    if (m_dir == nullptr)
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
    ::rewinddir(m_dir);
    while (const dirent* item = ::readdir(m_dir)) {
        qint64 pid = 0;
        if (!parsePid(item->d_name, pid))
            continue;
        auto known = m_processes.find(pid);
        // The same directory inode means the same process; a new one is
        // checked against the start time before anything is read again.
        if (known != m_processes.end() && known->inode == item->d_ino && !reidentify) {
            known->generation = generation;
            recheckYoung(pid, *known, now);
            continue;
        }
        qint64 ppid = 0;
        quint64 startTime = 0;
        quint64 startStack = 0;
        if (!readStat(pid, ppid, startTime, &startStack))
            continue; // gone meanwhile
        if (known != m_processes.end() && known->startTime == startTime) {
            known->inode = item->d_ino;
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
        process.inode = item->d_ino;
        process.generation = generation;
        struct stat info {};
        char name[32];
        std::snprintf(name, sizeof name, "%lld", static_cast<long long>(pid));
        if (::fstatat(m_procFd, name, &info, 0) != 0)
            continue;
        process.ours = info.st_uid == m_uid;
        if (process.ours) {
            if (!readFile(pid, "cgroup", process.cgroup, 64 * 1024))
                continue;
            process.exe = readExe(pid);
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
            if (readStat(it.key(), ppid, startTime))
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
    if (!readStat(application.pid, ppid, startTime) || startTime != known->startTime)
        return false;
    struct stat info {};
    char name[32];
    std::snprintf(name, sizeof name, "%lld", static_cast<long long>(application.pid));
    return ::fstatat(m_procFd, name, &info, 0) == 0 && info.st_uid == m_uid;
}
