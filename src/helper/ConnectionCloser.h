#pragma once

#include "hosts/NameLines.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

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
        // v4-mapped IPv6 addresses become IPv4.
        static Address from(int family, const void* bytes);
        bool operator==(const Address& other) const {
            return family == other.family && std::memcmp(&bytes, &other.bytes, sizeof bytes) == 0;
        }
    };

    // The addresses that lines of `hostsText` give any of `names` or their
    // www. forms, cleaned. Lines that map to 0.0.0.0 or 127.x are passed over
    // unread.
    static std::vector<Address> addressesIn(QByteArrayView hostsText, const NameLines& names);

    // Sorted, without duplicates and without loopback, link-local and
    // unspecified addresses, so an earlier block section cannot point this
    // at local services.
    static std::vector<Address> cleaned(std::vector<Address> addresses);

    // Closes the established TCP connections and connected UDP sockets of
    // `owner` to remote ports 80 and 443 at `addresses`, through the kernel's
    // socket-destroy interface. Local addresses are skipped here too. Returns
    // an empty text on success, else what went wrong (for example, a kernel
    // without socket destroy). Never throws.
    static QString closeConnections(const std::vector<Address>& addresses, uid_t owner);
};
