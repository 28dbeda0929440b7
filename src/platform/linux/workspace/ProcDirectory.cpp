#include "platform/linux/workspace/ProcDirectory.h"

#include <QFile>
#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

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

} // namespace

ProcDirectory::ProcDirectory(const QString& root)
    : m_root(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!isOpen())
        return;
    // The listing gets a descriptor of its own; once open, the stream owns it.
    const int listFd = ::dup(m_root.get());
    m_listing.reset(listFd >= 0 ? ::fdopendir(listFd) : nullptr);
    if (m_listing == nullptr && listFd >= 0)
        ScopedFd refused(listFd);
}

void ProcDirectory::rewind() {
    if (m_listing != nullptr)
        ::rewinddir(m_listing.get());
}

bool ProcDirectory::next(qint64& pid, ino_t& inode) {
    if (m_listing == nullptr)
        return false;
    while (const dirent* item = ::readdir(m_listing.get())) {
        if (parsePid(item->d_name, pid)) {
            inode = item->d_ino;
            return true;
        }
    }
    return false;
}

bool ProcDirectory::readFile(qint64 pid, const char* name, QByteArray& out, qsizetype limit) const {
    char path[64];
    if (pid > 0)
        std::snprintf(path, sizeof path, "%lld/%s", static_cast<long long>(pid), name);
    else
        std::snprintf(path, sizeof path, "%s", name);
    const ScopedFd fd(::openat(m_root.get(), path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    out.resize(4096);
    qsizetype used = 0;
    for (;;) {
        if (used == out.size()) {
            if (out.size() >= limit)
                break;
            out.resize(std::min(out.size() * 4, limit));
        }
        const ssize_t n = ::read(fd.get(), out.data() + used, size_t(out.size() - used));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        used += n;
    }
    out.truncate(used);
    return true;
}

bool ProcDirectory::readStat(qint64 pid, qint64& ppid, quint64& startTime,
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

QByteArray ProcDirectory::readExe(qint64 pid) const {
    char path[64];
    std::snprintf(path, sizeof path, "%lld/exe", static_cast<long long>(pid));
    char target[4096];
    const ssize_t n = ::readlinkat(m_root.get(), path, target, sizeof target);
    if (n <= 0)
        return {};
    QByteArray exe(target, n);
    if (exe.endsWith(" (deleted)"))
        exe.chop(10);
    return exe;
}

std::optional<uid_t> ProcDirectory::ownerOf(qint64 pid) const {
    struct stat info {};
    char name[32];
    std::snprintf(name, sizeof name, "%lld", static_cast<long long>(pid));
    if (::fstatat(m_root.get(), name, &info, 0) != 0)
        return std::nullopt;
    return info.st_uid;
}
