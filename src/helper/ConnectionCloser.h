#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstring>
#include <sys/types.h>
#include <vector>

#include <netinet/in.h>

// Makes a new block bite connections that are already open: a browser tab
// reuses its keep-alive connection and never looks the name up again.
class ConnectionCloser {
public:
    struct Address {
        int family = AF_INET; // AF_INET or AF_INET6
        in6_addr bytes{};     // the first 4 bytes for AF_INET
        bool operator==(const Address& other) const {
            return family == other.family && std::memcmp(&bytes, &other.bytes, sizeof bytes) == 0;
        }
    };

    // Resolves each name (and the caller adds the www. forms), in parallel,
    // within `budget` in all, and returns what resolved by then: sorted,
    // without duplicates, v4-mapped addresses as IPv4. Loopback, link-local
    // and unspecified addresses are left out, so an earlier block section
    // cannot point this at local services. Never more than a few threads;
    // lookups still running at the deadline finish in the background.
    static std::vector<Address> resolve(const QStringList& hostNames,
                                        std::chrono::milliseconds budget);

    // Closes the established TCP connections and connected UDP sockets of
    // `owner` to remote ports 80 and 443 at `addresses`, through the kernel's
    // socket-destroy interface. Local addresses are skipped here too. Returns
    // an empty text on success, else what went wrong (for example, a kernel
    // without socket destroy). Never throws.
    static QString closeConnections(const std::vector<Address>& addresses, uid_t owner);
};
