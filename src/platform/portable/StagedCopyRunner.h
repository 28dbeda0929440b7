#pragma once

#include "hosts/HostsText.h"
#include "platform/PrivilegedRunner.h"
#include "platform/ProcessRun.h"

#include <QDateTime>

#include <functional>
#include <unistd.h>

// Builds the new hosts text itself, writes it to a private staging file,
// then puts it in place with one privileged shell command: a copy beside the
// hosts file, renamed over it, so no reader ever sees half a file. The
// staging copy is removed afterwards, whether the copy worked or not.
class StagedCopyRunner : public PrivilegedRunner {
public:
    using Clock = std::function<QDateTime()>;

    // `stagingDirectory` is a per-user private folder; without one nothing
    // can be staged and every run fails with a platform error.
    // `afterBlock` runs in the same privileged run once a block is in place,
    // so it needs no second password prompt; its failure is ignored.
    // `userId` owns the sections written and decides which it may remove;
    // `clock` is the time they are written at (now when empty).
    StagedCopyRunner(QString hostsPath, QString stagingDirectory, QString afterBlock = {},
                     uint userId = ::getuid(), Clock clock = {});

    void block(const QStringList& hostNames, std::chrono::seconds length, Done done) override;
    void unblock(Done done) override;
    void removeUnowned(Done done) override;

    // The text a block puts in place: every earlier section goes, and one
    // for `hostNames` that ends `length` from now is appended.
    Result<QByteArray, HostBlockerError> blockedText(const QStringList& hostNames,
                                                     std::chrono::seconds length) const;

    QString stagingFilePath() const;
    // The privileged command that puts `stagingPath` in place of the hosts file.
    QString copyCommand(const QString& stagingPath) const;

protected:
    // Runs one shell command line with administrator rights.
    virtual void runAsRoot(const QString& commandLine, Done done) = 0;
    // Owns the running processes, so none outlives the runner.
    ProcessOwner m_processes;

private:
    // The hosts file without the sections `goes` picks.
    Result<QByteArray, HostBlockerError>
    textWithout(const std::function<bool(const HostsText::Section&)>& goes) const;
    void writeHosts(Result<QByteArray, HostBlockerError> text, const QString& afterCopy, Done done);

    QString m_hostsPath;
    QString m_stagingDirectory;
    QString m_afterBlock;
    uint m_userId;
    Clock m_clock;
};
