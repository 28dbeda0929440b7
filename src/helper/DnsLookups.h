#pragma once

#include "helper/ConnectionCloser.h"

#include "hosts/NameLines.h"

#include <chrono>
#include <limits>
#include <vector>

struct ares_addrinfo;
struct ares_channeldata;

// Looks host names up by asking the DNS servers of /etc/resolv.conf
// directly, never through the hosts file: that is the file a block is about
// to change, and reading it once a name would cost the whole file each time.
// A bounded number of names is in flight at once, so a big list neither
// floods the name server nor holds up the first answers. Single-threaded:
// the channel may be carried across fork() into the process that goes on.
class DnsLookups {
public:
    using Clock = std::chrono::steady_clock;

    // Whether each name's www. form is asked too, unless it is one.
    enum class WwwForms { No, Too };

    // Sends the first few queries at once; answers wait in the sockets
    // until run() reads them and sends the rest.
    explicit DnsLookups(const NameLines& hostNames, WwwForms www = WwwForms::No);
    ~DnsLookups();
    DnsLookups(const DnsLookups&) = delete;
    DnsLookups& operator=(const DnsLookups&) = delete;

    // Reads answers and sends the remaining queries until every name has an
    // answer or `deadline` has passed; names not sent by then are dropped.
    void run(Clock::time_point deadline);
    bool finished() const { return m_next == m_names.end() && !m_wwwNext && m_inFlight == 0; }
    // Every address answered so far, as the answers gave them.
    const std::vector<ConnectionCloser::Address>& found() const { return m_found; }

private:
    void submit(qsizetype most = std::numeric_limits<qsizetype>::max());
    static void answered(void* self, int status, int timeouts, ares_addrinfo* result);

    ares_channeldata* m_channel = nullptr;
    // The next query's name, NUL-terminated as c-ares takes it.
    const char* nextName();

    NameLines m_names;
    NameLines::Iterator m_next;
    bool m_www = false;
    bool m_wwwNext = false; // the www. form of the name before m_next
    qsizetype m_asked = 0;
    char m_name[4 + 256] = {'w', 'w', 'w', '.'};
    int m_inFlight = 0;
    bool m_submitting = false;
    // No name is asked after it: queries that fail at once (no network)
    // would otherwise go through every name, however many.
    Clock::time_point m_deadline = Clock::time_point::max();
    std::vector<ConnectionCloser::Address> m_found;
};
