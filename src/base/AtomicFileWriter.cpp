#include "base/AtomicFileWriter.h"
#include "base/ScopedFd.h"

#include <QFile>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes everything or reports why not; short writes are retried. Pieces
// go a batch per call, so that a section of many small pieces costs few
// system calls.
bool writeAll(int fd, const QList<QByteArrayView>& pieces, off_t offset, bool positional) {
    constexpr qsizetype kBatch = 1024; // IOV_MAX on Linux and macOS
    iovec batch[kBatch];
    qsizetype next = 0;    // the first piece not yet in a batch
    qsizetype skipped = 0; // bytes of pieces[next] already written
    while (next < pieces.size()) {
        int count = 0;
        for (qsizetype i = next; i < pieces.size() && count < kBatch; ++i) {
            const qsizetype from = i == next ? skipped : 0;
            if (pieces[i].size() > from)
                batch[count++] = {const_cast<char*>(pieces[i].data()) + from,
                                  size_t(pieces[i].size() - from)};
        }
        if (count == 0)
            break;
        const ssize_t n =
            positional ? ::pwritev(fd, batch, count, offset) : ::writev(fd, batch, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        offset += n;
        // Past what was written, which may end inside a piece.
        qsizetype left = n;
        while (next < pieces.size() && left >= pieces[next].size() - skipped) {
            left -= pieces[next].size() - skipped;
            skipped = 0;
            ++next;
        }
        skipped += left;
    }
    return true;
}

qsizetype totalSize(const QList<QByteArrayView>& pieces) {
    qsizetype size = 0;
    for (const QByteArrayView piece : pieces)
        size += piece.size();
    return size;
}

// Base 36 by hand: Qt's conversion brings its locale code along.
QByteArray randomName() {
    char digits[16];
    return QByteArray(
        digits, std::to_chars(digits, digits + sizeof digits, ::arc4random(), 36).ptr - digits);
}

// All that `tail` makes, through a buffer of a fixed size.
bool writeTail(int fd, AtomicFileWriter::Source* tail) {
    if (!tail)
        return true;
    constexpr qsizetype kRoom = 16 * 1024;
    const std::unique_ptr<char[]> buffer(new char[kRoom]);
    tail->rewind();
    while (const qsizetype n = tail->read(buffer.get(), kRoom)) {
        if (!writeAll(fd, {QByteArrayView(buffer.get(), n)}, 0, false))
            return false;
    }
    return true;
}

// A bind-mounted file cannot be renamed over.
bool isMountRoot(const char* path) {
#if defined(__linux__)
    struct statx info {};
    return ::statx(AT_FDCWD, path, 0, STATX_BASIC_STATS, &info) == 0 &&
           (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT);
#else
    (void)path;
    return false;
#endif
}

// Reserves room for `size` bytes without changing what a reader sees.
bool reserveSpace(int fd, off_t size) {
#if defined(__linux__)
    return size == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0;
#else
    (void)fd;
    (void)size;
    errno = ENOTSUP;
    return false;
#endif
}

// The target of a link, or the path itself. The system's own calls, as in
// the rest of this file: the root helper writes with this, and Qt's file
// information machinery is most of what it would otherwise load.
QString resolved(const QString& requestedPath) {
    const QByteArray path = QFile::encodeName(requestedPath);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode) ||
        ::stat(path.constData(), &info) != 0)
        return requestedPath;
    char* target = ::realpath(path.constData(), nullptr);
    const QString canonical = target ? QFile::decodeName(target) : requestedPath;
    std::free(target);
    return canonical;
}

// The absolute folder of `path`, and its last part.
struct Place {
    QByteArray directory;
    QByteArray name;
};
Place placeOf(const QString& path) {
    QByteArray absolute = QFile::encodeName(path);
    if (!absolute.startsWith('/')) {
        char* here = ::getcwd(nullptr, 0);
        absolute.prepend(QByteArray(here ? here : "") + '/');
        std::free(here);
    }
    const qsizetype slash = absolute.lastIndexOf('/');
    return {slash == 0 ? QByteArray("/") : absolute.first(slash), absolute.sliced(slash + 1)};
}

} // namespace

void AtomicFileWriter::removeLeftovers(const QString& requestedPath) {
    const auto [directory, base] = placeOf(resolved(requestedPath));
    const QByteArray prefix = '.' + base + '.';
    constexpr QByteArrayView kSuffix = ".new";
    // Read with the system's own calls: the root helper runs this before
    // every write, and needs no pattern machinery for one prefix.
    DIR* folder = ::opendir(directory.constData());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() < prefix.size() + kSuffix.size() || !name.startsWith(prefix) ||
            !name.endsWith(kSuffix))
            continue;
        const QByteArray leftover = directory + '/' + name.toByteArray();
        struct stat info {};
        if (::lstat(leftover.constData(), &info) == 0 && S_ISREG(info.st_mode))
            ::unlink(leftover.constData());
    }
    ::closedir(folder);
}

Result<void, FileError> AtomicFileWriter::write(const QString& requestedPath,
                                                const QList<QByteArrayView>& bytes,
                                                Source* tail) const {
    const QString path = resolved(requestedPath);
    const QByteArray target = QFile::encodeName(path);
    const auto failure = [&path](int error) { return FileError{path, systemReason(error)}; };

    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return failure(errno);
    if (exists && !S_ISREG(old.st_mode))
        return FileError{path, QStringLiteral("Not a regular file")};

    if (exists && m_options.inPlaceOnMountPoint && isMountRoot(target.constData()))
        return writeInPlace(path, bytes, tail);

    const auto [directory, base] = placeOf(path);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = directory + "/." + base + '.' + randomName() + ".new";
        // 0666 less the umask for a new file, like any other program's.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return failure(errno);
    }
    if (fd < 0)
        return failure(EEXIST);
    ScopedFd file(fd);
    const auto abandon = [&](int error) {
        ::unlink(temporary.constData());
        return failure(error);
    };

    if (exists) {
        if (m_options.keepOwner && ::fchown(file.get(), old.st_uid, old.st_gid) != 0)
            return abandon(errno);
        if (::fchmod(file.get(), old.st_mode & 07777) != 0)
            return abandon(errno);
    }
    if (!writeAll(file.get(), bytes, 0, false) || !writeTail(file.get(), tail) ||
        ::fsync(file.get()) != 0 || !file.close())
        return abandon(errno);

    if (::rename(temporary.constData(), target.constData()) == 0)
        return Result<void, FileError>::success();
    const int renameError = errno;
    ::unlink(temporary.constData());
    if (renameError != EBUSY || !m_options.inPlaceOnMountPoint)
        return failure(renameError);

    return writeInPlace(path, bytes, tail);
}

Result<void, FileError> AtomicFileWriter::writeInPlace(const QString& path,
                                                       const QList<QByteArrayView>& pieces,
                                                       Source* tail) const {
    // The room is reserved first, so a full disk is refused before a byte
    // changes.
    const auto failure = [&path](int error) { return FileError{path, systemReason(error)}; };
    ScopedFd file(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failure(errno);
    // The pieces may view a mapping of this very file: they are copied out
    // before it changes.
    QByteArray joined;
    joined.reserve(totalSize(pieces));
    for (const QByteArrayView piece : pieces)
        joined.append(piece);
    if (tail) {
        char part[4096];
        tail->rewind();
        while (const qsizetype n = tail->read(part, sizeof part))
            joined.append(part, n);
    }
    const QList<QByteArrayView> bytes{joined};
    const off_t size = off_t(joined.size());
    if (!reserveSpace(file.get(), size))
        return failure(errno);
    if (!writeAll(file.get(), bytes, 0, true) || ::ftruncate(file.get(), size) != 0 ||
        ::fsync(file.get()) != 0 || !file.close())
        return failure(errno);
    return Result<void, FileError>::success();
}
