#pragma once

#include "base/FileError.h"
#include "base/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Replaces a whole file so that a reader sees either the old bytes or the new
// ones. Everything is written and flushed to a file beside the target before
// the rename; any failure leaves the old file byte for byte.
class AtomicFileWriter {
public:
    struct Options {
        // Give the new file the old one's owner and group as well as its mode.
        bool keepOwner = false;
        // Where the target is a mount point (a bind-mounted file) rename
        // cannot replace it: write in place, but only after the space for
        // the whole text is reserved.
        bool inPlaceOnMountPoint = false;
    };

    // Bytes made a part at a time as they are written, so that a long text
    // need never be whole in memory.
    class Source {
    public:
        virtual ~Source() = default;
        // Back to the first byte.
        virtual void rewind() = 0;
        // Puts the next bytes, at most `room` of them, into `into`; returns
        // how many, 0 once all are out.
        virtual qsizetype read(char* into, qsizetype room) = 0;
    };

    explicit AtomicFileWriter(Options options) : m_options(options) {}
    AtomicFileWriter() : AtomicFileWriter(Options{}) {}

    // Follows a symbolic link to its target; never replaces anything that is
    // not a regular file (a directory, FIFO or device).
    Result<void, FileError> write(const QString& path, const QByteArray& bytes) const {
        return write(path, QList<QByteArrayView>{bytes});
    }
    // The concatenation of `pieces`, written without joining them first.
    Result<void, FileError> write(const QString& path, const QList<QByteArrayView>& pieces) const {
        return write(path, pieces, nullptr);
    }
    // The pieces, then all that `tail` makes.
    Result<void, FileError> write(const QString& path, const QList<QByteArrayView>& pieces,
                                  Source* tail) const;

    // Removes the files a write killed half-way left beside `path`. Only
    // where no other write of `path` can be under way.
    static void removeLeftovers(const QString& path);

private:
    Result<void, FileError> writeInPlace(const QString& path, const QList<QByteArrayView>& pieces,
                                         Source* tail) const;

    Options m_options;
};
