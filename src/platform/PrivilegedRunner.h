#pragma once

#include "base/Result.h"
#include "hosts/HostBlockerError.h"

#include <QByteArray>
#include <QDateTime>
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

// What a block puts into the hosts file.
struct BlockRequest {
    QStringList hostNames; // normalised
    // How long the block lasts from the moment it is written.
    std::chrono::seconds length{0};
    // The complete new hosts text, for runners that copy a prepared file
    // into place; empty for runners that build it themselves.
    QByteArray newText;
};

// Changes the hosts file's block section with administrator rights, after
// the system's own authentication prompt where one is needed. Every call
// returns at once; `done` runs exactly once, from the event loop (a runner
// that finishes on the spot may call it before returning).
class PrivilegedRunner {
public:
    using Outcome = Result<RunnerOutcome, HostBlockerError>;
    using Done = std::function<void(Outcome)>;

    virtual ~PrivilegedRunner() = default;

    virtual void block(const BlockRequest& request, Done done) = 0;
    // `newText` is the hosts text without a section, for copying runners.
    virtual void unblock(const QByteArray& newText, Done done) = 0;
    // Removes every section that names no owner and every lone marker, and
    // nothing else; `newText` is the hosts text without them.
    virtual void removeUnowned(const QByteArray& newText, Done done) = 0;
    // False where the privileged side reads and rewrites the file itself.
    virtual bool needsText() const { return true; }
};
