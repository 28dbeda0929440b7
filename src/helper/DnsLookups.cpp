#include "helper/DnsLookups.h"

#include <ares.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Names in flight at once; each is two queries (A and AAAA).
constexpr int kMaxInFlight = 256;
// Sent before the hosts file is read, so the write is not held up: queries
// that fail at once (no network) cost tens of microseconds each.
constexpr int kFirstBatch = 32;
// Room for the answers to every query in flight. A caching server answers as
// fast as they go out; the usual 208 KiB held about 200 answers and dropped
// the rest, to be asked again only after the timeout, or never. An answer
// costs its whole kernel buffer, up to about 2 KiB.
constexpr int kReceiveBuffer = kMaxInFlight * 2 * 2048;

int makeRoomForAnswers(ares_socket_t fd, int type, void*) {
    // Past the system's cap while still root, as the first queries are sent;
    // within it otherwise.
    if (type == SOCK_DGRAM &&
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    return 0;
}

} // namespace

DnsLookups::DnsLookups(const NameLines& hostNames, WwwForms www)
    : m_names(hostNames), m_next(m_names.begin()), m_www(www == WwwForms::Too) {
    if (m_names.isEmpty() || ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS)
        return;
    ares_options options{};
    // "b": DNS alone, never the hosts file; no search domains appended.
    char lookups[] = "b";
    options.lookups = lookups;
    options.flags = ARES_FLAG_NOSEARCH;
    options.timeout = 500;
    options.tries = 2;
    ares_channel channel = nullptr;
    if (ares_init_options(&channel, &options,
                          ARES_OPT_LOOKUPS | ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS |
                              ARES_OPT_TRIES) != ARES_SUCCESS) {
        m_next = m_names.end();
        return;
    }
    m_channel = channel;
    ares_set_socket_configure_callback(m_channel, makeRoomForAnswers, nullptr);
    submit(kFirstBatch);
}

DnsLookups::~DnsLookups() {
    if (m_channel) {
        // Callbacks still pending run now, with the channel's end as status.
        ares_destroy(m_channel);
        ares_library_cleanup();
    }
}

void DnsLookups::submit(qsizetype most) {
    // A query that fails at once answers from inside ares_getaddrinfo: the
    // loop below goes on with it instead of recursing once a name.
    if (m_submitting)
        return;
    m_submitting = true;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    // Sorting would connect a socket to every address found.
    hints.ai_flags = ARES_AI_NOSORT;
    for (qsizetype sent = 0; m_channel && m_inFlight < kMaxInFlight && sent < most &&
                             (m_next != m_names.end() || m_wwwNext) &&
                             ((m_asked & 63) != 0 || Clock::now() < m_deadline);
         ++sent) {
        ++m_inFlight;
        ++m_asked;
        ares_getaddrinfo(m_channel, nextName(), nullptr, &hints, answered, this);
    }
    m_submitting = false;
}

const char* DnsLookups::nextName() {
    if (m_wwwNext) {
        m_wwwNext = false;
        return m_name;
    }
    const QByteArrayView name = *m_next++;
    const qsizetype length = std::min<qsizetype>(name.size(), 253);
    std::memcpy(m_name + 4, name.data(), size_t(length));
    m_name[4 + length] = '\0';
    m_wwwNext = m_www && !name.startsWith("www.");
    return m_name + 4;
}

void DnsLookups::answered(void* self, int status, int, ares_addrinfo* result) {
    auto* lookups = static_cast<DnsLookups*>(self);
    --lookups->m_inFlight;
    if (status == ARES_SUCCESS && result) {
        for (const ares_addrinfo_node* node = result->nodes; node; node = node->ai_next) {
            if (node->ai_family == AF_INET)
                lookups->m_found.push_back(ConnectionCloser::Address::from(
                    AF_INET, &reinterpret_cast<const sockaddr_in*>(node->ai_addr)->sin_addr));
            else if (node->ai_family == AF_INET6)
                lookups->m_found.push_back(ConnectionCloser::Address::from(
                    AF_INET6, &reinterpret_cast<const sockaddr_in6*>(node->ai_addr)->sin6_addr));
        }
    }
    if (result)
        ares_freeaddrinfo(result);
    // Not from the destructor's callbacks: the channel is going away.
    if (status != ARES_EDESTRUCTION)
        lookups->submit();
}

void DnsLookups::run(Clock::time_point deadline) {
    m_deadline = deadline;
    submit();
    while (m_channel && !finished()) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        const int mask = ares_getsock(m_channel, sockets, ARES_GETSOCK_MAXNUM);
        pollfd fds[ARES_GETSOCK_MAXNUM];
        nfds_t count = 0;
        for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
            const short events = short((ARES_GETSOCK_READABLE(mask, i) ? POLLIN : 0) |
                                       (ARES_GETSOCK_WRITABLE(mask, i) ? POLLOUT : 0));
            if (events)
                fds[count++] = pollfd{sockets[i], events, 0};
        }
        const long leftMs =
            long(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        timeval most{leftMs / 1000, (leftMs % 1000) * 1000};
        timeval wait{};
        const timeval* next = ares_timeout(m_channel, &most, &wait);
        const int timeoutMs = int(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);
        const int ready = ::poll(fds, count, timeoutMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0) {
            // Lets c-ares retry or give up on queries whose time has come.
            ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
            continue;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (!fds[i].revents)
                continue;
            const bool readable = fds[i].revents & (POLLIN | POLLERR | POLLHUP);
            const bool writable = fds[i].revents & POLLOUT;
            ares_process_fd(m_channel, readable ? fds[i].fd : ARES_SOCKET_BAD,
                            writable ? fds[i].fd : ARES_SOCKET_BAD);
        }
    }
}
