#include "ConnectionCloser.h"
#include "base/ScopedFd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Address = ConnectionCloser::Address;

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

std::vector<ConnectionCloser::Address> ConnectionCloser::cleaned(std::vector<Address> addresses) {
    std::erase_if(addresses, isLocal);
    std::sort(addresses.begin(), addresses.end(), lessThan);
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

ConnectionCloser::Address ConnectionCloser::Address::from(int family, const void* bytes) {
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

std::vector<ConnectionCloser::Address> ConnectionCloser::addressesIn(QByteArrayView hostsText,
                                                                     const NameLines& names) {
    // Lines that give a name an address worth closing come first: most files
    // have none or a few, and then the names are never gone through.
    struct Line {
        Address address;
        QByteArrayView names;
    };
    std::vector<Line> lines;
    const char* at = hostsText.data();
    const char* const end = at + hostsText.size();
    while (at < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        if (!lineEnd)
            lineEnd = end;
        const char* comment = static_cast<const char*>(std::memchr(at, '#', size_t(lineEnd - at)));
        const QByteArrayView line(at, comment ? comment : lineEnd);
        at = lineEnd + 1;
        // Most lines of a big hosts file map names to 0.0.0.0 or 127.0.0.1,
        // which are never closed: they are passed over before any parsing.
        const QByteArrayView rest = line.trimmed();
        if (rest.isEmpty() || rest.startsWith("0.0.0.0") || rest.startsWith("127."))
            continue;
        qsizetype split = 0;
        while (split < rest.size() && rest[split] != ' ' && rest[split] != '\t')
            ++split;
        in6_addr bytes{};
        const QByteArray text = rest.first(split).toByteArray();
        const int family = ::inet_pton(AF_INET, text.constData(), &bytes) == 1    ? AF_INET
                           : ::inet_pton(AF_INET6, text.constData(), &bytes) == 1 ? AF_INET6
                                                                                  : 0;
        if (!family)
            continue;
        const Address address = Address::from(family, &bytes);
        if (!isLocal(address))
            lines.push_back({address, rest.sliced(split)});
    }
    std::vector<Address> found;
    if (lines.empty())
        return found;
    // The few names those lines give, each with its line, looked up once a
    // blocked name: the blocked names are never copied.
    struct Given {
        QByteArray name;
        size_t line;
        bool operator<(const Given& other) const { return name < other.name; }
    };
    std::vector<Given> given;
    for (size_t i = 0; i < lines.size(); ++i) {
        const QByteArrayView rest = lines[i].names;
        for (qsizetype from = 0; from < rest.size();) {
            qsizetype to = from;
            while (to < rest.size() && rest[to] != ' ' && rest[to] != '\t')
                ++to;
            if (to > from)
                given.push_back({rest.sliced(from, to - from).toByteArray().toLower(), i});
            from = to + 1;
        }
    }
    std::sort(given.begin(), given.end());
    std::vector<bool> hit(lines.size());
    const auto mark = [&](QByteArrayView name) {
        auto at = std::lower_bound(given.begin(), given.end(), name,
                                   [](const Given& g, QByteArrayView n) { return g.name < n; });
        for (; at != given.end() && at->name == name; ++at)
            hit[at->line] = true;
    };
    // A name is blocked itself and in its www. form, unless it is one.
    char www[4 + 256] = {'w', 'w', 'w', '.'};
    for (const QByteArrayView name : names) {
        mark(name);
        if (!name.startsWith("www.") && name.size() <= 256) {
            std::memcpy(www + 4, name.data(), size_t(name.size()));
            mark(QByteArrayView(www, 4 + name.size()));
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (hit[i])
            found.push_back(lines[i].address);
    }
    return cleaned(std::move(found));
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
                const Address remote = Address::from(socket.idiag_family, socket.id.idiag_dst);
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
