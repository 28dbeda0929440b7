#pragma once

#include "platform/PrivilegedRunner.h"
#include "platform/ProcessRun.h"

// Writes the new hosts text to a private staging file, then puts it in place
// with one privileged shell command: a copy beside the hosts file, renamed
// over it, so no reader ever sees half a file. The staging copy is removed
// afterwards, whether the copy worked or not.
class StagedCopyRunner : public PrivilegedRunner {
public:
    // `stagingDirectory` is a per-user private folder; without one nothing
    // can be staged and every run fails with a platform error.
    // `afterBlock` runs in the same privileged run once a block is in place,
    // so it needs no second password prompt; its failure is ignored.
    StagedCopyRunner(QString hostsPath, QString stagingDirectory, QString afterBlock = {});

    void block(const BlockRequest& request, Done done) override;
    void unblock(const QByteArray& newText, Done done) override;
    void removeUnowned(const QByteArray& newText, Done done) override;

    QString stagingFilePath() const;
    // The privileged command that puts `stagingPath` in place of the hosts file.
    QString copyCommand(const QString& stagingPath) const;

protected:
    // Runs one shell command line with administrator rights.
    virtual void runShell(const QString& commandLine, Done done) = 0;
    // Owns the running processes, so none outlives the runner.
    ProcessOwner m_processes;

private:
    void copyIntoPlace(const QByteArray& text, const QString& afterCopy, Done done);

    QString m_hostsPath;
    QString m_stagingDirectory;
    QString m_afterBlock;
};
