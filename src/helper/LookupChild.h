#pragma once

#include "base/ScopedFd.h"
#include "helper/ConnectionCloser.h"
#include "hosts/NameLines.h"

#include <chrono>
#include <optional>
#include <sys/types.h>
#include <vector>

// The blocked names' DNS lookups, in a child that gives up root before it
// reads a single answer: a resolver library's parsing bug gets the rights of
// nobody. The child hands back fixed-size address records over a pipe; the
// root side checks each again and reads only so many, for only so long.
class LookupChild {
public:
    using Address = ConnectionCloser::Address;
    using Clock = std::chrono::steady_clock;

    // An address as it crosses the pipe: the family byte (4 or 6), then 16
    // address bytes, an IPv4 one's last 12 zero.
    static constexpr size_t kRecordSize = 17;

    // Forks the child, which sends its first queries at once and holds the
    // rest until start(). It looks up each name and its www. form, and gives
    // up at `deadline`. Without a child, collect() finds nothing.
    LookupChild(const NameLines& hostNames, Clock::time_point deadline);
    ~LookupChild();
    LookupChild(const LookupChild&) = delete;
    LookupChild& operator=(const LookupChild&) = delete;

    // In the process that reads the answers: lets the child ask the rest,
    // then gathers its addresses until it is done or the deadline passes.
    std::vector<Address> collect();

    // One record, or nothing when it is not a well-formed address.
    static std::optional<Address> fromRecord(const unsigned char* record);

    // Gives up root for good: no groups, `uid` and `gid` for every id, no
    // capabilities, no way back through set-id programs. False when any step
    // failed, and then nothing may be done.
    static bool dropPrivileges(uid_t uid, gid_t gid);

private:
    [[noreturn]] void runChild(const NameLines& hostNames);

    ScopedFd m_results;
    ScopedFd m_start;
    Clock::time_point m_deadline;
    size_t m_most = 0;
};
