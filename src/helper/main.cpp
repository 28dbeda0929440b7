// tarnhollow-hosts-helper block|unblock|remove-unowned|boot
//
// The only part of Tarnhollow that runs as root, through pkexec and our own
// polkit actions. It changes nothing but the block sections of the hosts
// file, whose path is compiled in: never an argument, never from the
// environment. It reads nothing from the network: the blocked names are
// looked up by a child that has become nobody, which hands back addresses
// alone.
//   block           standard input: the session's length in seconds (1 to
//                   3600, counted from the write), then one normalised host
//                   name a line. Replaces the caller's section. Starts a
//                   detached waiter that removes the section at the end.
//                   Exits 3 when a section that names no owner is in the way.
//   unblock         removes each section the caller owns, that has expired,
//                   or any when the caller is root; others stay byte for
//                   byte. Ends the caller's waiter.
//   remove-unowned  an administrator's run: removes the sections that name
//                   no owner and lone marker lines.
//   boot            run once at boot by root: removes the sections whose end
//                   has passed and starts a waiter for each one still running.
#include "base/AtomicFileWriter.h"
#include "base/Result.h"
#include "base/ScopedFd.h"
#include "helper/BlockRules.h"
#include "helper/ConnectionCloser.h"
#include "helper/Layers.h"
#include "helper/LookupChild.h"
#include "helper/MappedFile.h"
#include "helper/Request.h"
#include "helper/Waiter.h"
#include "hosts/HostBlockerError.h"
#include "hosts/HostsSection.h"
#include "hosts/HostsText.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

constexpr char kHostsPath[] = "/etc/hosts";
constexpr QByteArrayView kBegin = HostsText::kMarkerStart;
constexpr QByteArrayView kEnd = HostsText::kMarkerEnd;
constexpr std::chrono::seconds kRequestDeadline(10);
constexpr std::chrono::milliseconds kLookupBudget(1500);
// Exit status of a block refused because of a section that names no owner.
constexpr int kUnownedStatus = 3;
// Late enough that a browser starting at the block has read its policies.
constexpr Waiter::Millis kBrowserRewrite(5000);

// What the caller shows: a failure's text or a note beside a success. The
// app reads a failure as this run's failed command, so the two agree.
struct Failure {
    Failure(HostBlockerError e, int s = 1) : error(std::move(e)), status(s) {}
    HostBlockerError error;
    int status;
};
using Outcome = Result<QString, Failure>;
using Step = Result<void, HostBlockerError>;

HostBlockerError failure(QString text) {
    return HostBlockerError::commandFailed(std::move(text), QString::fromLatin1(kHostsPath));
}

void say(const QString& text) {
    if (!text.isEmpty())
        std::fputs(text.toUtf8().append('\n').constData(), stdout);
}

int finish(const Outcome& outcome) {
    say(outcome ? outcome.value() : outcome.error().error.detail());
    return outcome ? 0 : outcome.error().status;
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

Step write(const QList<QByteArrayView>& text, AtomicFileWriter::Source* section = nullptr) {
    AtomicFileWriter::removeLeftovers(QString::fromLatin1(kHostsPath));
    const AtomicFileWriter writer({.keepOwner = true, .inPlaceOnMountPoint = true});
    if (auto written = writer.write(QString::fromLatin1(kHostsPath), text, section); !written)
        return failure(QStringLiteral("The hosts file was left as it was: ") +
                       written.error().message());
    return Step::success();
}

// The sections of `text` that stay when `removed` go.
QList<HostsText::Section> remaining(QByteArrayView text, const QList<HostsText::Section>& removed) {
    QList<HostsText::Section> left;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd)) {
        const bool goes = std::any_of(removed.begin(), removed.end(), [&](const auto& r) {
            return r.begin == section.begin && r.end == section.end;
        });
        if (!goes)
            left.append(section);
    }
    return left;
}

// What follows a section's removal: the owner's kernel rules go with it, and
// the browsers' lists keep only what other sections still block.
void afterRemoval(QByteArrayView text, const QList<HostsText::Section>& removed) {
    for (const HostsText::Section& section : removed) {
        if (section.owner)
            Layers::endKernel(section.owner->uid);
    }
    Layers::syncBrowsers({BlockRules::namesIn(text, remaining(text, removed))});
}

// The section a waiter, or a block's closing child, was started for.
bool isFor(const HostsText::Section& section, const Waiter::Wait& wait) {
    return section.owner && section.owner->uid == wait.owner &&
           section.owner->until.toSecsSinceEpoch() == wait.until;
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
        if (isFor(section, wait))
            due.append(section);
    }
    if (due.isEmpty())
        return Step::success();
    if (Step written = write(HostsText::keptPieces(text, due)); !written)
        return written;
    afterRemoval(text, due);
    return Step::success();
}

// Never gives up in silence: a block nobody removes would never end.
int removeSectionWhenDue(const Waiter::Wait& wait) {
    if (wait.afterExit > Waiter::Millis(0))
        Waiter::awaitStarterExit();
    Waiter::sleepUntil(Waiter::removalTime(wait, Waiter::bootNow()));
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
        return Failure(hosts.error());
    const QByteArrayView text = hosts.value().view();
    const BlockRules::Split parts =
        BlockRules::split(text, caller, QDateTime::currentDateTimeUtc());
    const auto blocking = BlockRules::blockingSection(parts);
    if (parts.removable.isEmpty() && blocking)
        return Failure(failure(BlockRules::refusalText(*blocking)));
    if (!parts.removable.isEmpty()) {
        if (Step written = write(HostsText::keptPieces(text, parts.removable)); !written)
            return Failure(written.error());
    }
    Waiter::end(caller);
    Layers::endKernel(caller);
    for (const HostsText::Section& section : parts.removable) {
        if (section.owner && section.owner->uid != caller)
            Waiter::end(section.owner->uid);
    }
    afterRemoval(text, parts.removable);
    for (const HostsText::Section& section : parts.kept) {
        if (!section.owner && !section.markerOnly)
            return BlockRules::refusalText(section);
    }
    return QString();
}

// An administrator's authenticated run: pkexec lets nobody else run this.
Outcome removeUnowned() {
    const Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return Failure(hosts.error());
    const QByteArrayView text = hosts.value().view();
    const QList<HostsText::Section> unowned = BlockRules::unowned(text);
    if (unowned.isEmpty())
        return QString();
    if (Step written = write(HostsText::keptPieces(text, unowned)); !written)
        return Failure(written.error());
    afterRemoval(text, unowned);
    return QString();
}

// Once at boot, after the clock is set: what ended while the machine was off
// goes, and what still runs gets its waiter back.
Outcome boot(uid_t caller) {
    if (caller != 0)
        return Failure(failure(QStringLiteral("Only the system runs this at boot.")));
    const Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return Failure(hosts.error());
    const QByteArrayView text = hosts.value().view();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const BlockRules::Split parts = BlockRules::byEnd(text, now);
    if (!parts.removable.isEmpty()) {
        if (Step written = write(HostsText::keptPieces(text, parts.removable)); !written)
            return Failure(written.error());
    }
    afterRemoval(text, parts.removable);
    QStringList notes;
    for (const HostsText::Section& section : parts.kept) {
        const Waiter::Wait wait{
            section.owner->uid,
            std::time_t(section.owner->until.toSecsSinceEpoch()),
            Waiter::deadlineOf(Waiter::Millis(section.owner->until.toMSecsSinceEpoch()),
                               Waiter::Millis(now.toMSecsSinceEpoch()), Waiter::bootNow()),
            {}};
        if (const QString reason = Waiter::replace(wait); !reason.isEmpty())
            notes.append(reason);
    }
    return notes.join(QLatin1Char('\n'));
}

// The hosts file as a block left it: any later write changes one of these.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};
    bool operator==(const Stamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<Stamp> stampOfHosts() {
    struct stat info {};
    if (::stat(kHostsPath, &info) != 0)
        return std::nullopt;
    return Stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// What a block wrote: the file's stamp then, and the names every section
// blocked.
struct Written {
    std::optional<Stamp> stamp;
    QList<NameLines> names;
};

// What every section blocks while the one `wait` is for still stands;
// nothing once it has gone. A file the block left as it was is not read
// again. The caller holds the lock.
std::optional<Written> sectionStands(const Waiter::Wait& wait, const Written& written) {
    if (written.stamp && stampOfHosts() == written.stamp)
        return written;
    const auto hosts = readHosts();
    if (!hosts)
        return std::nullopt;
    const QByteArrayView text = hosts.value().view();
    const auto sections = HostsText::blockSections(text, kBegin, kEnd);
    const bool stands = std::any_of(sections.begin(), sections.end(),
                                    [&](const auto& s) { return isFor(s, wait); });
    if (!stands)
        return std::nullopt;
    return Written{std::nullopt, {BlockRules::namesIn(text, sections)}};
}

// Open connections are closed in a child, so the caller hears of the block
// at once: the hosts file's own addresses for the names first, then what
// the unprivileged lookups found within their deadline, which also fill the
// kernel's set. The browsers' lists are written again once a browser
// starting at the block has surely read its policies. Its failures go to the
// system journal.
void closeConnectionsLater(Waiter::Lock& lock, LookupChild& lookups,
                           const std::vector<ConnectionCloser::Address>& local,
                           const Waiter::Wait& wait, const Written& written) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0) {
        ::syslog(LOG_AUTHPRIV | LOG_WARNING,
                 "No process could be started to close open connections: %s", std::strerror(errno));
        return;
    }
    if (child > 0)
        return;
    lock.release();
    // Our caller reads our output to its end: keep none of its pipes.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
        ::_exit(1);
    const auto started = Waiter::bootNow();
    QStringList notes;
    notes << ConnectionCloser::closeConnections(local, wait.owner);
    std::vector<ConnectionCloser::Address> all = lookups.collect();
    notes << ConnectionCloser::closeConnections(all, wait.owner);
    all.insert(all.end(), local.begin(), local.end());
    // Under the lock, and only while this block stands: a newer one of the
    // same owner must not get this one's earlier timeouts.
    if (const Waiter::Lock again; sectionStands(wait, written)) {
        if (const QString missing = Layers::prepareKernel(wait.owner); !missing.isEmpty())
            notes << missing;
        else
            notes << Layers::fillKernel(wait.owner, ConnectionCloser::cleaned(std::move(all)),
                                        wait.deadline - Waiter::bootNow());
    }
    Waiter::sleepUntil(started + kBrowserRewrite);
    if (const Waiter::Lock again; auto now = sectionStands(wait, written))
        Layers::syncBrowsers(now->names, now->stamp.has_value());
    for (const QString& note : std::as_const(notes)) {
        if (!note.isEmpty())
            ::syslog(LOG_AUTHPRIV | LOG_WARNING, "%s", note.toUtf8().constData());
    }
    ::_exit(0);
}

Outcome block(uid_t caller) {
    // Read before the lock: a slow writer holds up nobody else.
    const auto request = Request::read(STDIN_FILENO, kRequestDeadline);
    if (!request)
        return Failure(failure(request.error()));
    const NameLines& names = request.value().names;
    const std::chrono::seconds length = request.value().length;
    // Asked before the block is written: a local resolver that also answers
    // from the hosts file would give the blocked names 127.0.0.1 afterwards.
    LookupChild lookups(names, LookupChild::Clock::now() + kLookupBudget);

    Waiter::Lock lock;
    const auto hosts = readHosts();
    if (!hosts)
        return Failure(hosts.error());
    const QByteArrayView text = hosts.value().view();
    // /etc/hosts is shared by every user: one user's session is not ended by
    // another's start.
    const BlockRules::Split parts =
        BlockRules::split(text, caller, QDateTime::currentDateTimeUtc());
    if (const auto blocking = BlockRules::blockingSection(parts))
        return Failure(failure(BlockRules::refusalText(*blocking)),
                       blocking->owner ? 1 : kUnownedStatus);
    // Read now: a hosts file written in place (a bind mount) changes under
    // this mapping.
    const std::vector<ConnectionCloser::Address> local = ConnectionCloser::addressesIn(text, names);
    const QList<NameLines> browserNames{BlockRules::namesIn(text, parts.kept), names};

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime until = BlockRules::endOf(now, length);
    HostsSection section(names, now, caller, until);
    if (Step written = write(HostsText::keptPieces(text, parts.removable), &section); !written)
        return Failure(written.error());
    const Written written{stampOfHosts(), browserNames};
    // The block stands either way; the notes explain what did not follow it.
    QStringList notes;
    // The rules themselves are made in the closing child: nft takes longer
    // to start than the rest of the block.
    if (const QString missing = Layers::kernelMissing(); !missing.isEmpty())
        notes << QStringLiteral("notice: ") + missing;
    for (const QString& notice : Layers::syncBrowsers(browserNames))
        notes << QStringLiteral("notice: ") + notice;

    // The end on the boot clock, and once more counted from our exit, which
    // the app's countdown starts after: never before either.
    const Waiter::Wait wait{caller, std::time_t(until.toSecsSinceEpoch()),
                            Waiter::deadlineOf(Waiter::Millis(until.toMSecsSinceEpoch()),
                                               Waiter::Millis(QDateTime::currentMSecsSinceEpoch()),
                                               Waiter::bootNow()),
                            length};
    closeConnectionsLater(lock, lookups, local, wait, written);
    if (const QString reason = Waiter::replace(wait); !reason.isEmpty())
        notes.prepend(QStringLiteral("The websites stay blocked after the session's end until "
                                     "Tarnhollow runs again: ") +
                      reason);
    return notes.join(QLatin1Char('\n'));
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<Waiter::Wait> wait = Waiter::fromArguments(argc, argv))
        return removeSectionWhenDue(*wait);
    const QByteArray action = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (action != "block" && action != "unblock" && action != "remove-unowned" && action != "boot")
        return finish(Failure(failure(
            QStringLiteral("usage: tarnhollow-hosts-helper block|unblock|remove-unowned|boot"))));
    ::openlog("tarnhollow-hosts-helper", LOG_PID, LOG_AUTHPRIV);
    if (Step regular = checkRegular(); !regular)
        return finish(Failure(regular.error()));
    const uid_t caller = BlockRules::callerUid(::getuid(), ::getenv("PKEXEC_UID"));
    if (action == "block")
        return finish(block(caller));
    if (action == "unblock")
        return finish(unblock(caller));
    if (action == "remove-unowned")
        return finish(removeUnowned());
    return finish(boot(caller));
}
