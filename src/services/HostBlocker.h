#pragma once

#include "base/Result.h"
#include "hosts/HostBlockerError.h"
#include "hosts/HostsText.h"
#include "platform/PrivilegedRunner.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <unistd.h>

class DnsCacheFlusher;

// What HostBlocker touches; every field defaults to the real system's value.
struct HostBlockerOptions {
    QString hostsPath = QStringLiteral("/etc/hosts");
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
    // Whose sections are ours; root may remove any.
    uint userId = ::getuid();
};

// What a run that worked has to tell the user.
struct HostBlockerNotes {
    // What the user should still know (the block stands, but will not end by
    // itself, say); empty when nothing.
    QString notes;
    // Quiet notices, without their "notice: " prefix, in the run's order.
    QStringList notices;
};

// Blocks websites system-wide through a marked section at the end of the
// hosts file, written with administrator rights. Both operations return at
// once and report through `done`, so the window never waits on a prompt.
class HostBlocker {
public:
    using Clock = std::function<QDateTime()>;
    // What a run that worked has to say, or why it did not.
    using RunResult = Result<HostBlockerNotes, HostBlockerError>;
    using Done = std::function<void(RunResult)>;

    using Options = HostBlockerOptions;

    // The runner and the flusher are required.
    HostBlocker(Options options, std::unique_ptr<PrivilegedRunner> runner,
                std::unique_ptr<DnsCacheFlusher> flusher);
    ~HostBlocker();
    HostBlocker(const HostBlocker&) = delete;
    HostBlocker& operator=(const HostBlocker&) = delete;

    const QString hostsPath;

    // Replaces any block section with one for `domainList` that lasts for
    // `length` from the moment it is written, then flushes DNS.
    void apply(const QStringList& domainList, std::chrono::seconds length, Done done);
    // Removes the block section. Without one nothing is written, and so
    // nothing is asked.
    void clear(Done done);
    // Removes every section that names no owner and every lone marker, which
    // only an administrator may; without any nothing is asked.
    void removeUnowned(Done done);

    // The owner line of this user's own block section, as the hosts file is
    // now; nothing without one.
    std::optional<HostsText::SectionOwner> ownSection() const;

    // The host names a list of website entries blocks.
    static QStringList hostNames(const QStringList& domainList);

private:
    // The whole hosts file, whatever its encoding.
    Result<QByteArray, HostBlockerError> readText() const;
    // Whether the hosts file holds a section `wanted` picks.
    Result<bool, HostBlockerError>
    holdsSection(const std::function<bool(const HostsText::Section&)>& wanted) const;
    // `blocking`: the run was a block, for which one more status has a meaning.
    RunResult toResult(const PrivilegedRunner::Outcome& outcome, bool blocking = false) const;

    Clock m_clock;
    uint m_userId;
    std::unique_ptr<PrivilegedRunner> m_runner;
    std::unique_ptr<DnsCacheFlusher> m_flusher;
};
