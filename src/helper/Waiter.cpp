#include "helper/Waiter.h"

#include "hosts/AtomicFileWriter.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
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

// Root's alone, so no one else can plant a pid file or hold the lock.
bool ensureDir() {
    if (::mkdir(kDir, 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(kDir, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == 0 &&
           (info.st_mode & 077) == 0;
}

QString pidPath(uid_t owner) {
    return QStringLiteral("%1/waiter-%2.pid").arg(QLatin1String(kDir)).arg(owner);
}

QByteArray readLink(const QByteArray& path) {
    char target[PATH_MAX];
    const ssize_t size = ::readlink(path.constData(), target, sizeof target);
    return size > 0 ? QByteArray(target, size) : QByteArray();
}

// A pid file can outlive its waiter, and the pid be reused.
bool isWaiterOf(pid_t pid, uid_t owner) {
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    const QByteArray exe = readLink(proc + "/exe");
    QFile cmdline(QString::fromLatin1(proc + "/cmdline"));
    if (exe.isEmpty() || exe != readLink(kSelf) || !cmdline.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> args = cmdline.readAll().split('\0');
    return args.value(1) == kMarker && args.value(2) == QByteArray::number(owner);
}

} // namespace

std::optional<Wait> fromArguments(int argc, char** argv) {
    if (argc != 4 || QByteArrayView(argv[1]) != kMarker || ::getuid() != 0 ||
        ::getenv("PKEXEC_UID"))
        return std::nullopt;
    bool ownerOk = false;
    bool untilOk = false;
    const Wait wait{uid_t(QByteArray(argv[2]).toUInt(&ownerOk)),
                    std::time_t(QByteArray(argv[3]).toLongLong(&untilOk))};
    return ownerOk && untilOk ? std::optional(wait) : std::nullopt;
}

void sleepUntil(std::time_t until) {
    const timespec at{until, 0};
    while (::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

void end(uid_t owner) {
    const QString path = pidPath(owner);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool ok = false;
    const pid_t pid = file.readAll().trimmed().toInt(&ok);
    // A pidfd pins the process, so the check and the signal reach the same
    // one. Raw calls: glibc 2.36 declares them without C linkage.
    const int pidfd = ok && pid > 1 ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    if (pidfd >= 0) {
        if (isWaiterOf(pid, owner) &&
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
            pollfd exited{pidfd, POLLIN, 0};
            ::poll(&exited, 1, 1000);
        }
        ::close(pidfd);
    }
    QFile::remove(path);
}

QString replace(const Wait& wait) {
    if (!ensureDir())
        return QStringLiteral("%1 is not a folder only root can use.").arg(QLatin1String(kDir));
    end(wait.owner);

    QByteArray owner = QByteArray::number(wait.owner);
    QByteArray until = QByteArray::number(qint64(wait.until));
    QByteArray name = "tarnhollow-hosts-helper";
    QByteArray marker = kMarker;
    char* const argv[] = {name.data(), marker.data(), owner.data(), until.data(), nullptr};
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
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t waiter = -1;
    if (::posix_spawn(&waiter, kSelf, &actions, &attributes, argv, noEnvironment) != 0)
        waiter = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (waiter <= 0)
        return QStringLiteral("No process could be started to wait for the end.");

    if (auto written = AtomicFileWriter().write(pidPath(wait.owner), QByteArray::number(waiter));
        !written) {
        // One we could not find again would never be replaced.
        ::kill(waiter, SIGKILL);
        return written.error().message();
    }
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
