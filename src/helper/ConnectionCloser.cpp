#include "ConnectionCloser.h"
#include "base/ScopedFd.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Address = ConnectionCloser::Address;

// Enough lookups in flight to hide DNS latency, few enough for any machine.
constexpr std::size_t kMaxResolverThreads = 32;

Address fromBytes(int family, const void* bytes) {
    Address address;
    address.family = family;
    std::memcpy(&address.bytes, bytes, family == AF_INET ? 4 : 16);
    // A v4-mapped IPv6 address is that IPv4 address for matching and filtering.
    if (family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&address.bytes)) {
        address.family = AF_INET;
        std::memmove(&address.bytes, address.bytes.s6_addr + 12, 4);
        std::memset(address.bytes.s6_addr + 4, 0, 12);
    }
    return address;
}

// Loopback, link-local and unspecified: closing these would hit local services.
bool isLocal(const Address& address) {
    const uint8_t* b = address.bytes.s6_addr;
    if (address.family == AF_INET)
        return b[0] == 127 || b[0] == 0 || (b[0] == 169 && b[1] == 254);
    return IN6_IS_ADDR_LOOPBACK(&address.bytes) || IN6_IS_ADDR_UNSPECIFIED(&address.bytes) ||
           IN6_IS_ADDR_LINKLOCAL(&address.bytes);
}

bool lessThan(const Address& a, const Address& b) {
    if (a.family != b.family)
        return a.family < b.family;
    return std::memcmp(&a.bytes, &b.bytes, sizeof a.bytes) < 0;
}

// Sorted, unique and without local addresses.
std::vector<Address> cleaned(std::vector<Address> addresses) {
    std::erase_if(addresses, isLocal);
    std::sort(addresses.begin(), addresses.end(), lessThan);
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

// Shared with the lookup threads, which may outlive resolve() by one lookup
// each: getaddrinfo cannot be interrupted.
struct Lookups {
    std::vector<std::string> names;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    std::vector<Address> found;
};

// Nothing may escape a detached thread: it would end the whole program.
void lookUp(const std::shared_ptr<Lookups>& lookups) noexcept try {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM; // one entry per address, not one per socket type
    while (!lookups->stopped) {
        const std::size_t i = lookups->next++;
        if (i >= lookups->names.size())
            return;
        std::vector<Address> found;
        addrinfo* list = nullptr;
        if (::getaddrinfo(lookups->names[i].c_str(), nullptr, &hints, &list) == 0) {
            for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
                if (entry->ai_family == AF_INET)
                    found.push_back(fromBytes(
                        AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr));
                else if (entry->ai_family == AF_INET6)
                    found.push_back(fromBytes(
                        AF_INET6,
                        &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr));
            }
            ::freeaddrinfo(list);
        }
        std::lock_guard lock(lookups->mutex);
        lookups->found.insert(lookups->found.end(), found.begin(), found.end());
        if (++lookups->done == lookups->names.size())
            lookups->finished.notify_all();
    }
} catch (...) {
}

QString failure(const QString& why, int error) {
    return QString("Open connections to the blocked websites could not be closed: %1 (%2)")
        .arg(why, QString::fromLocal8Bit(std::strerror(error)));
}

// One sock_diag conversation: requests go out one at a time, replies are
// read until the matching ack or end of dump.
class SockDiag {
public:
    SockDiag()
        : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)),
          openError_(fd_.get() < 0 ? errno : 0) {
        // A kernel that never answers must not hold the block up.
        const timeval timeout{2, 0};
        if (fd_.get() >= 0)
            ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }

    int openError() const { return openError_; }

    // Calls `each` for every socket in the dump; returns 0 or an errno value.
    template <typename Each> int dump(const inet_diag_req_v2& request, Each each) {
        if (const int error = send(SOCK_DIAG_BY_FAMILY, NLM_F_DUMP, request))
            return error;
        return receive([&](const nlmsghdr* message) {
            if (message->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
                message->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)))
                each(*static_cast<const inet_diag_msg*>(NLMSG_DATA(message)));
        });
    }

    // Destroys one socket; returns 0 or the kernel's errno value.
    int destroy(const inet_diag_req_v2& request) {
        if (const int error = send(SOCK_DESTROY, NLM_F_ACK, request))
            return error;
        return receive([](const nlmsghdr*) {});
    }

private:
    int send(uint16_t type, uint16_t flags, const inet_diag_req_v2& request) {
        struct {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = type;
        message.header.nlmsg_flags = NLM_F_REQUEST | flags;
        message.header.nlmsg_seq = ++sequence_;
        message.request = request;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        const ssize_t sent = ::sendto(fd_.get(), &message, sizeof message, 0,
                                      reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        return sent == ssize_t(sizeof message) ? 0 : (sent < 0 ? errno : EIO);
    }

    template <typename Each> int receive(Each each) {
        alignas(nlmsghdr) char buffer[32768];
        for (;;) {
            const ssize_t length = ::recv(fd_.get(), buffer, sizeof buffer, 0);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                return length < 0 ? errno : EIO;
            auto remaining = static_cast<unsigned>(length);
            for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer);
                 NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
                if (message->nlmsg_seq != sequence_)
                    continue; // a late reply to an earlier request
                if (message->nlmsg_type == NLMSG_ERROR) {
                    const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                    return -error->error;
                }
                if (message->nlmsg_type == NLMSG_DONE) {
                    const int status = *static_cast<const int*>(NLMSG_DATA(message));
                    return status < 0 ? -status : 0;
                }
                each(message);
            }
        }
    }

    ScopedFd fd_;
    int openError_;
    uint32_t sequence_ = 0;
};

} // namespace

std::vector<ConnectionCloser::Address>
ConnectionCloser::resolve(const QStringList& hostNames, std::chrono::milliseconds budget) try {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    auto lookups = std::make_shared<Lookups>();
    for (const QString& name : hostNames)
        lookups->names.push_back(name.toStdString());
    if (lookups->names.empty())
        return {};
    try {
        const std::size_t threads = std::min(lookups->names.size(), kMaxResolverThreads);
        for (std::size_t i = 0; i < threads; ++i)
            std::thread(lookUp, lookups).detach();
    } catch (...) {
        // Fewer threads, or none: what has started still counts.
    }
    std::unique_lock lock(lookups->mutex);
    lookups->finished.wait_until(lock, deadline,
                                 [&] { return lookups->done == lookups->names.size(); });
    lookups->stopped = true;
    return cleaned(lookups->found);
} catch (...) {
    return {}; // out of memory: nothing is closed, the block still stands
}

QString ConnectionCloser::closeConnections(const std::vector<Address>& addresses, uid_t owner) try {
    const std::vector<Address> targets = cleaned(addresses);
    if (targets.empty())
        return {};
    SockDiag diag;
    if (const int error = diag.openError())
        return failure("the kernel's socket list is not available", error);

    std::vector<inet_diag_req_v2> victims;
    int listError = 0;
    for (const uint8_t family : {AF_INET, AF_INET6}) {
        for (const uint8_t protocol : {IPPROTO_TCP, IPPROTO_UDP}) {
            inet_diag_req_v2 request{};
            request.sdiag_family = family;
            request.sdiag_protocol = protocol;
            // Connected UDP sockets (QUIC) report this state too.
            request.idiag_states = 1U << TCP_ESTABLISHED;
            const int error = diag.dump(request, [&](const inet_diag_msg& socket) {
                const uint16_t port = ntohs(socket.id.idiag_dport);
                if (socket.idiag_uid != owner || (port != 80 && port != 443))
                    return;
                const Address remote = fromBytes(socket.idiag_family, socket.id.idiag_dst);
                if (!std::binary_search(targets.begin(), targets.end(), remote, lessThan))
                    return;
                inet_diag_req_v2 victim = request;
                victim.sdiag_family = socket.idiag_family;
                victim.id = socket.id; // the cookie makes sure it is this very socket
                victims.push_back(victim);
            });
            // One list that cannot be read (say, no UDP diagnostics) spares the others.
            if (error && !listError)
                listError = error;
        }
    }

    int closeError = 0;
    for (const inet_diag_req_v2& victim : victims) {
        const int error = diag.destroy(victim);
        if (error == EOPNOTSUPP)
            return failure("this kernel cannot close sockets", error);
        // ENOENT: the connection ended by itself in the meantime.
        if (error && error != ENOENT && !closeError)
            closeError = error;
    }
    if (closeError)
        return failure("the kernel refused to close them", closeError);
    if (listError)
        return failure("the kernel's socket list could not be read", listError);
    return {};
} catch (...) {
    return failure("out of memory", ENOMEM);
}
