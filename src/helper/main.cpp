// tarnhollow-hosts-helper block|unblock
//
// The only part of Tarnhollow that runs as root, through pkexec and our own
// polkit actions. It changes nothing but the block section of the hosts file,
// whose path is compiled in: never an argument, never from the environment.
//   block    standard input: the session's end (ISO 8601, UTC), then one
//            normalised host name a line. Replaces the section.
//            Starts a detached waiter that removes the section at the end.
//   unblock  removes the section, if the caller owns it, it has expired, or
//            the caller is root, and ends the caller's waiter.
#include "base/AtomicFileWriter.h"
#include "helper/ConnectionCloser.h"
#include "helper/Waiter.h"
#include "services/HostsText.h"

#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr char kHostsPath[] = "/etc/hosts";
const QString kBegin = QStringLiteral("# Tarnhollow:BEGIN");
const QString kEnd = QStringLiteral("# Tarnhollow:END");
constexpr int kMaxNames = 10000;
constexpr qsizetype kMaxNameLength = 253;
constexpr qsizetype kMaxInput = (kMaxNames + 1) * (kMaxNameLength + 1);

int fail(const QString& message) {
    std::fputs(message.toUtf8().append('\n').constData(), stdout);
    return 1;
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

bool isValidName(QByteArrayView name) {
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    for (char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-'))
            return false;
    }
    return true;
}

struct Request {
    QDateTime until;
    QStringList names;
};

std::optional<Request> readRequest(QString* error) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *error = QStringLiteral("The request could not be read.");
        return std::nullopt;
    }
    const QByteArray input = in.read(kMaxInput + 1);
    if (input.size() > kMaxInput) {
        *error = QStringLiteral("The request is too long.");
        return std::nullopt;
    }
    QList<QByteArray> lines = input.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    Request request;
    request.until = QDateTime::fromString(QString::fromLatin1(lines.value(0)), Qt::ISODate);
    if (!request.until.isValid()) {
        *error = QStringLiteral("The request names no valid end time.");
        return std::nullopt;
    }
    if (lines.size() - 1 > kMaxNames) {
        *error = QStringLiteral("At most %1 websites can be blocked at once.").arg(kMaxNames);
        return std::nullopt;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!isValidName(lines[i])) {
            *error = QStringLiteral("Refused a host name that is not a plain lower-case name: %1")
                         .arg(QString::fromUtf8(
                             lines[i].left(kMaxNameLength).toPercentEncoding("./_-:")));
            return std::nullopt;
        }
        request.names.append(QString::fromLatin1(lines[i]));
    }
    request.until = request.until.toUTC();
    return request;
}

int write(const QByteArray& text) {
    const AtomicFileWriter writer({.keepOwner = true, .inPlaceOnMountPoint = true});
    if (auto written = writer.write(QString::fromLatin1(kHostsPath), text); !written)
        return fail(QStringLiteral("The hosts file was left as it was: ") +
                    written.error().message());
    return 0;
}

int readHosts(QByteArray* text) {
    QFile file(QString::fromLatin1(kHostsPath));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The hosts file could not be read: ") + file.errorString());
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError || !text->isValidUtf8())
        return fail(QStringLiteral("The hosts file could not be read as UTF-8 text."));
    return 0;
}

// The unblock action and the waiter remove the section alike.
int removeSection(QByteArray text) {
    if (!HostsText::hasBlockSection(text, kBegin.toUtf8(), kEnd.toUtf8()))
        return 0;
    return write(HostsText::joined(
        HostsText::stripExistingBlockSection(std::move(text), kBegin.toUtf8(), kEnd.toUtf8())));
}

// Spares a section that is no longer the one it waits for: a newer block may
// have missed this waiter (a lost pid file, a replaced binary).
int removeSectionWhenDue(const Waiter::Wait& wait) {
    Waiter::sleepUntil(wait.until);
    const Waiter::Lock lock;
    QByteArray text;
    if (const int status = readHosts(&text); status != 0)
        return status;
    const auto owner = HostsText::sectionOwner(text, kBegin.toUtf8());
    if (!owner || owner->uid != wait.owner || owner->until.toSecsSinceEpoch() != wait.until)
        return 0;
    return removeSection(std::move(text));
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<Waiter::Wait> wait = Waiter::fromArguments(argc, argv))
        return removeSectionWhenDue(*wait);
    const QByteArray action = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (action != "block" && action != "unblock")
        return fail(QStringLiteral("usage: tarnhollow-hosts-helper block|unblock"));
    const uid_t caller = callerUid();
    const Waiter::Lock lock;
    QByteArray text;
    if (const int status = readHosts(&text); status != 0)
        return status;

    // /etc/hosts is shared by every user: one user's session is not ended by
    // another's launch.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto owner = HostsText::sectionOwner(text, kBegin.toUtf8());
    if (owner && caller != 0 && owner->uid != caller && owner->until > now)
        return fail(QStringLiteral("Another user's focus session blocks websites until %1 UTC; "
                                   "only that user or an administrator can change it before then.")
                        .arg(owner->until.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));

    if (action == "unblock") {
        const int status = removeSection(std::move(text));
        if (status == 0)
            Waiter::end(caller);
        return status;
    }
    QByteArray kept =
        HostsText::stripExistingBlockSection(std::move(text), kBegin.toUtf8(), kEnd.toUtf8());

    QString error;
    const std::optional<Request> request = readRequest(&error);
    if (!request)
        return fail(error);
    // Looked up before the block hides them behind 127.0.0.1.
    QStringList lookups = request->names;
    for (const QString& name : request->names) {
        if (!name.startsWith(QLatin1String("www.")))
            lookups.append(QStringLiteral("www.") + name);
    }
    const auto addresses = ConnectionCloser::resolve(lookups, std::chrono::milliseconds(1500));

    const QStringList section =
        HostsText::blockSection(request->names, now, caller, request->until, kBegin, kEnd);
    if (const int status = write(HostsText::joined(std::move(kept), section)); status != 0)
        return status;
    // The block stands either way; notes explain what did not follow it.
    QStringList notes;
    if (const QString reason = Waiter::replace({caller, request->until.toSecsSinceEpoch()});
        !reason.isEmpty())
        notes << QStringLiteral("The websites stay blocked after the session's end until "
                                "Tarnhollow runs again: ") +
                     reason;
    if (const QString note = ConnectionCloser::closeConnections(addresses, caller); !note.isEmpty())
        notes << note;
    for (const QString& note : notes)
        std::fputs(note.toUtf8().append('\n').constData(), stdout);
    return 0;
}
