#pragma once

#include "base/ScopedFd.h"

#include <QByteArray>
#include <QString>

#include <dirent.h>
#include <sys/types.h>

#include <memory>
#include <optional>

// The files of /proc (or a stand-in root) the process table is read from,
// opened once: each read is relative to the open directory, so a PID's
// files cannot be swapped for another root's between reads.
class ProcDirectory {
public:
    explicit ProcDirectory(const QString& root);

    bool isOpen() const { return m_root.get() >= 0; }
    bool canList() const { return m_listing != nullptr; }

    // Starts the listing over; next() then gives every process once.
    void rewind();
    bool next(qint64& pid, ino_t& inode);

    // A PID's file, or with pid 0 one of the root's own; at most limit bytes.
    bool readFile(qint64 pid, const char* name, QByteArray& out, qsizetype limit) const;
    // Parent, start time (clock ticks after boot) and, if asked, the
    // address of the stack, which changes with every exec.
    bool readStat(qint64 pid, qint64& ppid, quint64& startTime,
                  quint64* startStack = nullptr) const;
    QByteArray readExe(qint64 pid) const;
    std::optional<uid_t> ownerOf(qint64 pid) const;

private:
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };

    ScopedFd m_root;
    std::unique_ptr<DIR, CloseDir> m_listing;
};
