// tarnhollow-hosts-helper block|unblock
//
// The only part of Tarnhollow that runs as root, through pkexec and our own
// polkit actions. It changes nothing but the block section of the hosts file,
// whose path is compiled in: never an argument, never from the environment.
//   block    standard input: the session's length in seconds (1 to 3600,
//            counted from the write), then one normalised host name a
//            line. Replaces the section.
//            Starts a detached waiter that removes the section at the end.
//   unblock  removes each section the caller owns, that has expired, or any
//            when the caller is root; others stay byte for byte. Ends the
//            caller's waiter.
#include "base/Result.h"
#include "base/ScopedFd.h"
#include "helper/ConnectionCloser.h"
#include "helper/DnsLookups.h"
#include "helper/MappedFile.h"
#include "helper/Request.h"
#include "helper/Waiter.h"
#include "hosts/AtomicFileWriter.h"
#include "hosts/HostBlockerError.h"
#include "hosts/HostsText.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

constexpr char kHostsPath[] = "/etc/hosts";
constexpr QByteArrayView kBegin = HostsText::kMarkerStart;
constexpr QByteArrayView kEnd = HostsText::kMarkerEnd;
constexpr std::chrono::seconds kRequestDeadline(10);
constexpr std::chrono::milliseconds kLookupBudget(1500);

// What the caller shows: a failure's text or a note beside a success. The
// app reads a failure as this run's failed command, so the two agree.
using Outcome = Result<QString, HostBlockerError>;
using Step = Result<void, HostBlockerError>;

HostBlockerError failure(QString text) {
    return HostBlockerError::commandFailed(std::move(text), QString::fromLatin1(kHostsPath));
}

void say(const QString& text) {
    if (!text.isEmpty())
        std::fputs(text.toUtf8().append('\n').constData(), stdout);
}

int finish(const Outcome& outcome) {
    say(outcome ? outcome.value() : outcome.error().detail());
    return outcome ? 0 : 1;
}

// The user pkexec acted for; root when run as root directly.
uid_t callerUid() {
    const char* pkexecUid = ::getenv("PKEXEC_UID");
    if (::getuid() != 0 || !pkexecUid)
        return ::getuid();
    bool ok = false;
    const uint uid = QByteArray(pkexecUid).toUInt(&ok);
    return ok ? uid_t(uid) : uid_t(-1);
}

HostBlockerError notRegular() {
    return failure(QStringLiteral("The hosts file is not a regular file, so it was left alone."));
}

HostBlockerError readFailure() {
    return failure(QStringLiteral("The hosts file could not be read: ") +
                   QString::fromLocal8Bit(std::strerror(errno)));
}

// Checked before the lock is taken: a FIFO or a device could block the
// read, and every other helper and waiter with it.
Step checkRegular() {
    struct stat info {};
    if (::stat(kHostsPath, &info) != 0)
        return readFailure();
    if (!S_ISREG(info.st_mode))
        return notRegular();
    return Step::success();
}

// Any bytes: only our own lines are read as text. Another program that
// truncates the file in place while we read it can only make us stop
// before anything is written.
Result<MappedFile, HostBlockerError> readHosts() {
    const ScopedFd fd(::open(kHostsPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        return readFailure();
    if (!S_ISREG(info.st_mode))
        return notRegular();
    MappedFile file(fd.get(), info.st_size);
    if (!file.isValid())
        return readFailure();
    return file;
}

Step write(const QList<QByteArrayView>& text) {
    AtomicFileWriter::removeLeftovers(QString::fromLatin1(kHostsPath));
    const AtomicFileWriter writer({.keepOwner = true, .inPlaceOnMountPoint = true});
    if (auto written = writer.write(QString::fromLatin1(kHostsPath), text); !written)
        return failure(QStringLiteral("The hosts file was left as it was: ") +
                       written.error().message());
    return Step::success();
}

QString refusalText(const HostsText::Section& section) {
    if (!section.owner)
        return QStringLiteral("The hosts file holds a Tarnhollow section that names no owner; "
                              "only an administrator can remove it.");
    return QStringLiteral("Another user's focus session blocks websites until %1 UTC; "
                          "only that user or an administrator can change it before then.")
        .arg(section.owner->until.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

struct Split {
    QList<HostsText::Section> removable;
    QList<HostsText::Section> kept;
};

Split split(QByteArrayView text, uid_t caller, const QDateTime& now) {
    Split parts;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd))
        (HostsText::mayRemove(section, caller, now) ? parts.removable : parts.kept).append(section);
    return parts;
}

// The waiter's one job: the section it was started for, and no other (a
// newer block may have missed it).
Step removeDueSection(const Waiter::Wait& wait) {
    if (Step regular = checkRegular(); !regular)
        return regular;
    const Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return hosts.error();
    const QByteArrayView text = hosts.value().view();
    QList<HostsText::Section> due;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd)) {
        if (section.owner && section.owner->uid == wait.owner &&
            section.owner->until.toSecsSinceEpoch() == wait.until)
            due.append(section);
    }
    return due.isEmpty() ? Step::success() : write(HostsText::keptPieces(text, due));
}

// Never gives up in silence: a block nobody removes would never end.
int removeSectionWhenDue(const Waiter::Wait& wait) {
    Waiter::sleepUntil(wait.until);
    ::openlog("tarnhollow-hosts-helper", LOG_PID, LOG_AUTHPRIV);
    for (unsigned delay = 1;; delay = std::min(delay * 2, 600U)) {
        const Step removed = removeDueSection(wait);
        if (removed)
            return 0;
        ::syslog(LOG_ERR, "The block of user %u could not be removed, trying again in %u s: %s",
                 unsigned(wait.owner), delay, removed.error().detail().toUtf8().constData());
        ::sleep(delay);
    }
}

Outcome unblock(uid_t caller) {
    const Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return hosts.error();
    const QByteArrayView text = hosts.value().view();
    const Split parts = split(text, caller, QDateTime::currentDateTimeUtc());
    if (parts.removable.isEmpty() && !parts.kept.isEmpty())
        return failure(refusalText(parts.kept.first()));
    if (!parts.removable.isEmpty()) {
        if (Step written = write(HostsText::keptPieces(text, parts.removable)); !written)
            return written.error();
    }
    Waiter::end(caller);
    for (const HostsText::Section& section : parts.kept) {
        if (!section.owner)
            return refusalText(section);
    }
    return QString();
}

// Open connections are closed in a child, so the caller hears of the block
// at once: the hosts file's own addresses for the names first, then what
// DNS answers within the deadline. Its failures go to the system journal.
void closeConnectionsLater(Waiter::Lock& lock, DnsLookups& lookups, QByteArrayView hosts,
                           const QStringList& names, uid_t caller,
                           DnsLookups::Clock::time_point deadline) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child > 0)
        return;
    if (child == 0) {
        lock.release();
        // Our caller reads our output to its end: keep none of its pipes.
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(1);
    }
    QString note =
        ConnectionCloser::closeConnections(ConnectionCloser::addressesIn(hosts, names), caller);
    lookups.run(deadline);
    if (note.isEmpty())
        note = ConnectionCloser::closeConnections(lookups.found(), caller);
    if (!note.isEmpty())
        ::syslog(LOG_AUTHPRIV | LOG_WARNING, "%s", note.toUtf8().constData());
    if (child == 0)
        ::_exit(0);
}

Outcome block(uid_t caller) {
    // Read before the lock: a slow writer holds up nobody else.
    const auto request = Request::read(STDIN_FILENO, kRequestDeadline);
    if (!request)
        return failure(request.error());
    const QStringList& names = request.value().names;
    // Asked before the block is written: a local resolver that also answers
    // from the hosts file would give the blocked names 127.0.0.1 afterwards.
    QStringList lookupNames;
    lookupNames.reserve(names.size() * 2);
    for (const QString& name : names)
        lookupNames.append(HostsText::blockedNames(name));
    const auto lookupDeadline = DnsLookups::Clock::now() + kLookupBudget;
    DnsLookups lookups(lookupNames);

    Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return hosts.error();
    const QByteArrayView text = hosts.value().view();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // /etc/hosts is shared by every user: one user's session is not ended by
    // another's start.
    const Split parts = split(text, caller, now);
    if (!parts.kept.isEmpty())
        return failure(refusalText(parts.kept.first()));

    // The end counts from the write, rounded up so that the block never
    // ends before the session the app counts from its success.
    const QDateTime until =
        now.addMSecs(1000 - now.time().msec()).addSecs(request.value().length.count());
    const QStringList section = HostsText::blockSection(
        names, now, caller, until, QString::fromLatin1(kBegin), QString::fromLatin1(kEnd));
    const QByteArray appended = HostsText::appendedBytes(section);
    if (Step written = write(HostsText::keptPieces(text, parts.removable) << appended); !written)
        return written.error();
    // The block stands either way; the note explains what did not follow it.
    QString note;
    if (const QString reason = Waiter::replace({caller, until.toSecsSinceEpoch()});
        !reason.isEmpty())
        note = QStringLiteral("The websites stay blocked after the session's end until "
                              "Tarnhollow runs again: ") +
               reason;
    closeConnectionsLater(lock, lookups, text, lookupNames, caller, lookupDeadline);
    return note;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<Waiter::Wait> wait = Waiter::fromArguments(argc, argv))
        return removeSectionWhenDue(*wait);
    const QByteArray action = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (action != "block" && action != "unblock")
        return finish(failure(QStringLiteral("usage: tarnhollow-hosts-helper block|unblock")));
    if (Step regular = checkRegular(); !regular)
        return finish(regular.error());
    const uid_t caller = callerUid();
    return finish(action == "block" ? block(caller) : unblock(caller));
}
