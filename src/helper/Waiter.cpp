#include "helper/Waiter.h"

#include "base/ScopedFd.h"

#include <QByteArray>
#include <QByteArrayList>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Waiter {

namespace {

constexpr char kDir[] = "/run/tarnhollow";
constexpr char kMarker[] = "--end-session-waiter";
constexpr char kSelf[] = "/proc/self/exe";
constexpr QByteArrayView kProgram = "tarnhollow-hosts-helper";
// Where a waiter finds its end of the pipe to the helper that started it.
constexpr int kStarterFd = 3;
constexpr Millis kNoticeAllowance(100);

// Root's alone, so no one else can plant a file or hold the lock. A folder
// left readable by others (an older tool, by hand) is made private; one that
// others can write to may already hold their files, and is refused.
bool ensureDir() {
    if (::mkdir(kDir, 0700) != 0 && errno != EEXIST)
        return false;
    const ScopedFd dir(::open(kDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (dir.get() < 0 || ::fstat(dir.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return false;
    return (info.st_mode & 07777) == 0700 || ::fchmod(dir.get(), 0700) == 0;
}

// Numbers by hand: Qt's conversions bring its locale code into a process
// that only ever needs digits.
QByteArray decimal(qint64 value) {
    char digits[24];
    return QByteArray(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
}

// A process id of /proc, or 0.
pid_t pidOf(const char* name) {
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name, name + std::strlen(name), pid);
    return error == std::errc() && *end == '\0' ? pid : 0;
}

QByteArray readLink(const QByteArray& path) {
    char target[PATH_MAX];
    const ssize_t size = ::readlink(path.constData(), target, sizeof target);
    return size > 0 ? QByteArray(target, size) : QByteArray();
}

// A root process running a program of ours, the same or one an upgrade has
// since replaced, started as the owner's waiter.
bool isWaiterOf(pid_t pid, uid_t owner) {
    const QByteArray proc = "/proc/" + decimal(pid);
    struct stat info {};
    if (::stat(proc.constData(), &info) != 0 || info.st_uid != 0)
        return false;
    QByteArray exe = readLink(proc + "/exe");
    if (exe.endsWith(" (deleted)"))
        exe.chop(10);
    if (!exe.endsWith("/" + kProgram.toByteArray()))
        return false;
    const ScopedFd cmdline(::open((proc + "/cmdline").constData(), O_RDONLY | O_CLOEXEC));
    char text[4096];
    const ssize_t size = cmdline.get() < 0 ? -1 : ::read(cmdline.get(), text, sizeof text);
    if (size < 0)
        return false;
    const QList<QByteArray> args = QByteArray(text, size).split('\0');
    return args.value(1) == kMarker && args.value(2) == decimal(owner);
}

void kill(pid_t pid, uid_t owner) {
    // A pidfd pins the process, so the check and the signal reach the same
    // one. Raw calls: glibc 2.36 declares them without C linkage.
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return;
    if (isWaiterOf(pid, owner) &&
        ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
        pollfd exited{pidfd, POLLIN, 0};
        ::poll(&exited, 1, 1000);
    }
    ::close(pidfd);
}

} // namespace

std::optional<Wait> fromArguments(int argc, char** argv) {
    if (argc != 6 || QByteArrayView(argv[1]) != kMarker || ::getuid() != 0 ||
        ::getenv("PKEXEC_UID"))
        return std::nullopt;
    bool ok[4] = {};
    const Wait wait{uid_t(QByteArray(argv[2]).toUInt(&ok[0])),
                    std::time_t(QByteArray(argv[3]).toLongLong(&ok[1])),
                    Millis(QByteArray(argv[4]).toLongLong(&ok[2])),
                    Millis(QByteArray(argv[5]).toLongLong(&ok[3]))};
    return ok[0] && ok[1] && ok[2] && ok[3] ? std::optional(wait) : std::nullopt;
}

Millis bootNow() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return Millis(qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

Millis deadlineOf(Millis untilWall, Millis nowWall, Millis nowBoot) {
    return nowBoot + std::max(Millis(0), untilWall - nowWall);
}

Millis removalTime(const Wait& wait, Millis exited) {
    if (wait.afterExit <= Millis(0))
        return wait.deadline;
    // The app hears of our exit a little after it.
    return std::max(wait.deadline, exited + wait.afterExit + kNoticeAllowance);
}

void awaitStarterExit() {
    // Its end of this pipe closes when it exits, its memory already freed.
    pollfd closed{kStarterFd, POLLIN, 0};
    while (::poll(&closed, 1, 10000) < 0 && errno == EINTR) {
    }
    ::close(kStarterFd);
}

void sleepUntil(Millis deadline) {
    const timespec at{std::time_t(deadline.count() / 1000),
                      long(deadline.count() % 1000) * 1000000};
    while (::clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// Every waiter is found by its command line, not by a pid file: one that a
// crashed or replaced helper never recorded is ended all the same.
void end(uid_t owner) {
    const pid_t self = ::getpid();
    // The system's own calls: Qt's directory listing would load its pattern
    // machinery into a process that has no use for it.
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = pidOf(entry->d_name);
        if (pid > 1 && pid != self && isWaiterOf(pid, owner))
            kill(pid, owner);
    }
    ::closedir(proc);
}

QString replace(const Wait& wait) {
    if (!ensureDir())
        return QStringLiteral("%1 is not a folder only root can use.").arg(QLatin1String(kDir));
    end(wait.owner);

    QByteArray owner = decimal(wait.owner);
    QByteArray until = decimal(qint64(wait.until));
    QByteArray deadline = decimal(qint64(wait.deadline.count()));
    QByteArray afterExit = decimal(qint64(wait.afterExit.count()));
    QByteArray name = kProgram.toByteArray();
    QByteArray marker = kMarker;
    char* const argv[] = {name.data(),     marker.data(),    owner.data(), until.data(),
                          deadline.data(), afterExit.data(), nullptr};
    // Our end stays with us alone (close-on-exec, and children forked
    // earlier never had it), so the waiter sees it close when we exit.
    int starter[2];
    if (::pipe2(starter, O_CLOEXEC) != 0)
        return QStringLiteral("No process could be started to wait for the end.");
    const ScopedFd readEnd(starter[0]);
    // Kept open until our exit on purpose.
    (void)starter[1];
    char* const noEnvironment[] = {nullptr};
    // Spawned, not forked: no copy of our memory is made. In a session of
    // its own, and our caller reads our output to its end: it keeps none of
    // its pipes, and pins no mount as its working folder.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    for (const int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawn_file_actions_adddup2(&actions, readEnd.get(), kStarterFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kStarterFd + 1);
    pid_t waiter = -1;
    if (::posix_spawn(&waiter, kSelf, &actions, &attributes, argv, noEnvironment) != 0)
        waiter = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (waiter <= 0)
        return QStringLiteral("No process could be started to wait for the end.");
    return QString();
}

Lock::Lock() {
    if (!ensureDir())
        return;
    m_fd.reset(::open((QByteArray(kDir) + "/hosts.lock").constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    while (m_fd.get() >= 0 && ::flock(m_fd.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
}

} // namespace Waiter
