#pragma once

#include "base/Result.h"
#include "hosts/HostBlockerError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// How a privileged run ended. The exit status alone decides success.
struct RunnerOutcome {
    int exitStatus = 0;
    // Standard output and standard error, merged, as the run wrote them.
    QByteArray output;
    // The user refused or cancelled the system's authentication prompt.
    bool authorizationRefused = false;
};

// The status of a block refused because a section that names no owner is in
// the way; nothing is written then.
inline constexpr int kUnownedSectionStatus = 3;

// Changes the hosts file's block sections with administrator rights, after
// the system's own authentication prompt where one is needed. Each call says
// what is wanted; how the file's text changes is the runner's own business.
// Every call returns at once; `done` runs exactly once, from the event loop
// (a runner that finishes on the spot may call it before returning).
class PrivilegedRunner {
public:
    using Outcome = Result<RunnerOutcome, HostBlockerError>;
    using Done = std::function<void(Outcome)>;

    virtual ~PrivilegedRunner() = default;

    // Replaces the caller's block with one for `hostNames` (normalised) that
    // lasts `length` from the moment it is written.
    virtual void block(const QStringList& hostNames, std::chrono::seconds length, Done done) = 0;
    // Removes the sections the caller may remove (HostsText::mayRemove).
    virtual void unblock(Done done) = 0;
    // Removes every section that names no owner and every lone marker, and
    // nothing else.
    virtual void removeUnowned(Done done) = 0;
};
