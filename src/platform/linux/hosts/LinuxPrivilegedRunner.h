#pragma once

#include "platform/PrivilegedRunner.h"
#include "platform/ProcessRun.h"

#include <QString>

#include <optional>

// Runs the hosts helper, the only program Tarnhollow ever runs as root, with
// one of its actions: directly when already root, else through pkexec,
// which shows the desktop's authentication dialog for our own actions.
class LinuxPrivilegedRunner : public PrivilegedRunner {
public:
    // `asRoot` empty means: look at the effective user id at each run.
    explicit LinuxPrivilegedRunner(QString helper = defaultHelperPath(),
                                   QString pkexec = QStringLiteral("/usr/bin/pkexec"),
                                   std::optional<bool> asRoot = std::nullopt);

    void block(const QStringList& hostNames, std::chrono::seconds length, Done done) override;
    void unblock(Done done) override;
    void removeUnowned(Done done) override;

    // Where the installed helper lives.
    static QString defaultHelperPath();
    // Why pkexec must not run `helper`: empty when it belongs to root and
    // neither it nor any folder above it can be changed by anyone else.
    static QString unsafeHelperReason(const QString& helper);

private:
    void run(const QString& action, const QByteArray& input, Done done);

    QString m_helper;
    QString m_pkexec;
    std::optional<bool> m_asRoot;
    ProcessOwner m_processes;
};
