#pragma once

#include "platform/PrivilegedRunner.h"
#include "platform/ProcessRun.h"

// Writes the new hosts text to a private staging file, then copies it over
// the hosts file with one privileged shell command. The staging copy is
// removed afterwards, whether the copy worked or not.
class StagedCopyRunner : public PrivilegedRunner {
public:
    // `stagingDirectory` is a per-user private folder; without one nothing
    // can be staged and every run fails with a platform error.
    StagedCopyRunner(QString hostsPath, QString stagingDirectory);

    void block(const BlockRequest& request, Done done) override;
    void unblock(const QByteArray& newText, Done done) override;

    QString stagingFilePath() const;
    // The privileged command that copies `stagingPath` over the hosts file.
    QString copyCommand(const QString& stagingPath) const;

protected:
    // Runs one shell command line with administrator rights.
    virtual void runShell(const QString& commandLine, Done done) = 0;
    // Owns the running processes, so none outlives the runner.
    ProcessOwner m_processes;

private:
    void copyIntoPlace(const QByteArray& text, Done done);

    QString m_hostsPath;
    QString m_stagingDirectory;
};
