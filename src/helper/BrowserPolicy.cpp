#include "BrowserPolicy.h"
#include "base/ScopedFd.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Browser {
    const char* name;
    // Under the root; present when the browser is installed system-wide.
    const char* folder;
};

constexpr Browser kBrowsers[] = {
    {"Chromium", "etc/chromium"},
    {"Google Chrome", "etc/opt/chrome"},
    {"Brave", "etc/brave"},
    {"Microsoft Edge", "etc/opt/edge"},
    {"Chromium", "etc/chromium-browser"},
};
constexpr char kFile[] = "tarnhollow.json";
// Not a .json name, so no browser reads a half-written list.
constexpr char kTemporary[] = ".tarnhollow.json.new";
constexpr qint64 kReadLimit = 4 << 20;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

QString errorText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Each step without following a link: one planted anywhere on the way
// could lead a root write anywhere. -1 when a step is missing or a link.
int openFolder(int from, const char* path) {
    int fd = ::fcntl(from, F_DUPFD_CLOEXEC, 0);
    char step[NAME_MAX + 1];
    for (const char* at = path; fd >= 0 && *at;) {
        const size_t length = std::min(std::strcspn(at, "/"), sizeof step - 1);
        std::memcpy(step, at, length);
        step[length] = '\0';
        const int next = ::openat(fd, step, kFolderFlags);
        ::close(fd);
        fd = next;
        at += length + (at[length] == '/');
    }
    return fd;
}

// Only root may change what a browser is told to enforce; the helper runs
// as root, its tests as themselves.
bool isProtected(int folder) {
    struct stat info {};
    return ::fstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Links are followed: an administrator may link a policy file in, and
// reading it changes nothing.
QByteArray readSmallFile(int folder, const char* name) {
    const ScopedFd fd(::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > kReadLimit)
        return {};
    QByteArray bytes(info.st_size, Qt::Uninitialized);
    const ssize_t n = ::read(fd.get(), bytes.data(), size_t(bytes.size()));
    bytes.truncate(n < 0 ? 0 : n);
    return bytes;
}

// Two files setting one policy leave the browser to pick one of them; an
// administrator's list must never be the one that loses.
bool holdsOtherList(int managed) {
    DIR* folder = ::fdopendir(::fcntl(managed, F_DUPFD_CLOEXEC, 0));
    if (!folder)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(".json") && name != kFile &&
            BrowserPolicy::setsBlocklist(readSmallFile(managed, entry->d_name))) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

bool writeAll(int fd, QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += std::max<ssize_t>(n, 0);
    }
    return true;
}

constexpr QByteArrayView kHead = "{\n    \"URLBlocklist\": [\n";
constexpr QByteArrayView kTail = "\n    ]\n}\n";

// The size writeDocument gives the list.
qint64 documentSize(const QList<NameLines>& names) {
    qint64 count = 0, bytes = 0;
    for (const NameLines& part : names) {
        const qsizetype lines = part.count();
        count += lines;
        bytes += part.text().size() - lines;
    }
    // Each name quoted on a line of its own, indented by 8, a comma between.
    return kHead.size() + kTail.size() + bytes + count * 10 + std::max<qint64>(count - 1, 0) * 2;
}

// The list as our file holds it already, copied by the kernel: writing the
// same list again then costs no pass over the names. Only a file of the
// size the list has is taken.
enum class Copy { Done, NotOurs, Failed };
Copy copyOurFile(int managed, int fd, const QList<NameLines>& names) {
    const ScopedFd ours(::openat(managed, kFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (ours.get() < 0 || ::fstat(ours.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size != documentSize(names))
        return Copy::NotOurs;
    for (off_t done = 0; done < info.st_size;) {
        const ssize_t n =
            ::copy_file_range(ours.get(), nullptr, fd, nullptr, size_t(info.st_size - done), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done == 0 ? Copy::NotOurs : Copy::Failed;
        done += n;
    }
    return Copy::Done;
}

// Host names need no escaping: written straight out, in the layout
// QJsonDocument::Indented gives, a long list costs a buffer's room. False
// with EILSEQ at a name that would need escaping.
bool writeDocument(int fd, const QList<NameLines>& names) {
    constexpr qsizetype kRoom = 16 * 1024;
    constexpr qsizetype kMostPerName = 512;
    const std::unique_ptr<char[]> buffer(new char[kRoom]);
    char* out = buffer.get();
    const auto put = [&out](QByteArrayView bytes) {
        std::memcpy(out, bytes.data(), size_t(bytes.size()));
        out += bytes.size();
    };
    const auto flush = [&] {
        const bool written = writeAll(fd, QByteArrayView(buffer.get(), out - buffer.get()));
        out = buffer.get();
        return written;
    };
    put(kHead);
    bool first = true;
    for (const NameLines& part : names) {
        for (const QByteArrayView name : part) {
            if (name.size() > kMostPerName - 16) {
                errno = EILSEQ;
                return false;
            }
            if (out - buffer.get() > kRoom - kMostPerName && !flush())
                return false;
            put(first ? QByteArrayView("        \"") : QByteArrayView(",\n        \""));
            first = false;
            // Without a branch a byte: the check is looked at once a name.
            bool escaped = false;
            for (qsizetype i = 0; i < name.size(); ++i) {
                const auto c = static_cast<unsigned char>(name[i]);
                escaped |= (unsigned(c) - '!' >= 0x7fU - '!') | (c == '"') | (c == '\\');
                out[i] = char(c);
            }
            if (escaped) {
                errno = EILSEQ;
                return false;
            }
            out += name.size();
            *out++ = '"';
        }
    }
    put(kTail);
    return flush();
}

// The list, the long way when a name needs escaping.
bool writeList(int fd, const QList<NameLines>& names) {
    if (writeDocument(fd, names))
        return true;
    return errno == EILSEQ && ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
           writeAll(fd, BrowserPolicy::document(names));
}

// A browser reads the old list or the new one, never a mix of the two.
bool replaceFile(int managed, const QList<NameLines>& names, bool again) {
    // A leftover of an interrupted write; the folder is root's alone.
    ::unlinkat(managed, kTemporary, 0);
    ScopedFd file(
        ::openat(managed, kTemporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    const Copy copied =
        again && file.get() >= 0 ? copyOurFile(managed, file.get(), names) : Copy::NotOurs;
    const bool written = file.get() >= 0 && copied != Copy::Failed &&
                         (copied == Copy::Done || writeList(file.get(), names)) &&
                         ::fchmod(file.get(), 0644) == 0 && ::fsync(file.get()) == 0 &&
                         file.close() && ::renameat(managed, kTemporary, managed, kFile) == 0;
    if (!written) {
        const int error = errno;
        ::unlinkat(managed, kTemporary, 0);
        errno = error;
        return false;
    }
    ::fsync(managed);
    return true;
}

// A folder in `parent`, made when missing and `create`; -1 with errno set
// when there is none to use.
int openChild(int parent, const char* name, bool create) {
    int fd = ::openat(parent, name, kFolderFlags);
    if (fd < 0 && errno == ENOENT && create && ::mkdirat(parent, name, 0755) == 0) {
        fd = ::openat(parent, name, kFolderFlags);
        // Browsers run as the user: whatever our umask, they must read it.
        if (fd >= 0)
            ::fchmod(fd, 0755);
    }
    return fd;
}

// The browser's managed policies folder, made when missing and `create`
// (Debian's Chromium, say, ships without one).
int openManaged(int browser, bool create) {
    const ScopedFd policies(openChild(browser, "policies", create));
    if (policies.get() < 0)
        return -1;
    if (!isProtected(policies.get())) {
        errno = EPERM;
        return -1;
    }
    return openChild(policies.get(), "managed", create);
}

} // namespace

QByteArray BrowserPolicy::document(const QList<NameLines>& names) {
    QStringList list;
    for (const NameLines& part : names) {
        for (const QByteArrayView name : part)
            list.append(QString::fromLatin1(name));
    }
    return QJsonDocument(QJsonObject{{"URLBlocklist", QJsonArray::fromStringList(list)}}).toJson();
}

bool BrowserPolicy::setsBlocklist(QByteArrayView json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        // Chromium also reads comments and trailing commas, which Qt refuses:
        // such a file naming the policy may well set it.
        return json.toByteArray().contains("\"URLBlocklist\"") ||
               json.toByteArray().contains("\"URLBlacklist\"");
    const QJsonObject policies = document.object();
    return policies.contains(QLatin1String("URLBlocklist")) ||
           policies.contains(QLatin1String("URLBlacklist"));
}

QStringList BrowserPolicy::sync(const QList<NameLines>& names, const QString& root, bool again) {
    QStringList notices;
    const ScopedFd top(::open(QFile::encodeName(root).constData(), kFolderFlags & ~O_NOFOLLOW));
    if (top.get() < 0)
        return notices;
    const bool blocking =
        std::any_of(names.begin(), names.end(), [](const NameLines& n) { return !n.isEmpty(); });
    for (const Browser& browser : kBrowsers) {
        const ScopedFd folder(openFolder(top.get(), browser.folder));
        if (folder.get() < 0)
            continue; // not installed
        const QString name = QString::fromLatin1(browser.name);
        const ScopedFd managed(openManaged(folder.get(), blocking));
        if (managed.get() < 0 && errno == ENOENT)
            continue;
        if (managed.get() < 0 && errno != ELOOP && errno != ENOTDIR && errno != EPERM) {
            if (blocking)
                notices << QStringLiteral("%1: the website list could not be written: %2.")
                               .arg(name, errorText());
            continue;
        }
        if (managed.get() < 0 || !isProtected(managed.get())) {
            if (blocking)
                notices << QStringLiteral("%1: its policy folder is a link or open to other "
                                          "users, so Tarnhollow leaves it alone.")
                               .arg(name);
            continue;
        }
        const bool otherList = holdsOtherList(managed.get());
        if (otherList && blocking)
            notices << QStringLiteral("%1: an administrator's website list is in force, so "
                                      "Tarnhollow leaves it alone.")
                           .arg(name);
        if (otherList || !blocking) {
            if (::unlinkat(managed.get(), kFile, 0) != 0 && errno != ENOENT)
                notices << QStringLiteral("%1: Tarnhollow's website list could not be removed: "
                                          "%2.")
                               .arg(name, errorText());
            continue;
        }
        if (!replaceFile(managed.get(), names, again))
            notices << QStringLiteral("%1: the website list could not be written: %2.")
                           .arg(name, errorText());
    }
    return notices;
}
