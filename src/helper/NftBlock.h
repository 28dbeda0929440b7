#pragma once

#include "helper/ConnectionCloser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <sys/types.h>
#include <vector>

// The kernel's share of a block: a browser that asks DNS over HTTPS, or has
// the address cached, never reads the hosts file, so web traffic to the
// listed names' addresses is rejected in the output path as well. One table,
// `inet tarnhollow`; per owner N the sets v4_N and v6_N and the chain out_N.
// Runs /usr/sbin/nft with the script on its standard input. Changes of the
// table are ordered by the helper's lock, held by the caller.
class NftBlock {
public:
    using Address = ConnectionCloser::Address;

    // Creates the owner's table, sets and chain, or leaves them as they are.
    // Returns an empty text, or a short reason the layer is missing.
    static QString prepare(uid_t owner);
    // Without running anything: a short reason the layer is missing (nft is
    // not installed), or nothing.
    static QString missing();

    // Adds the blockable ones of `addresses`, each expiring after `left`.
    // Refreshes the expiry of those already there. Fails when the owner's
    // sets are gone, so a late add never brings an ended block back.
    static QString add(uid_t owner, const std::vector<Address>& addresses,
                       std::chrono::milliseconds left);

    // Removes the owner's chain and sets, and the table with the last owner.
    // Nothing there is fine.
    static void remove(uid_t owner);

    // Sorted, without duplicates, and without every address whose rejection
    // would hit this machine, its network or name lookups: loopback,
    // link-local, unspecified, multicast and private ones (v4-mapped too),
    // and `dnsServers`.
    static std::vector<Address> blockable(std::vector<Address> addresses,
                                          const std::vector<Address>& dnsServers);

    // The `nameserver` addresses of a resolv.conf text.
    static std::vector<Address> dnsServersIn(QByteArrayView resolvConf);

    // The scripts fed to nft.
    static QByteArray prepareScript(uid_t owner);
    static QByteArray addScript(uid_t owner, const std::vector<Address>& addresses,
                                std::chrono::milliseconds timeout);
    static QByteArray removeScript(uid_t owner, bool lastOwner);
    // The owners whose sets a terse listing of the table shows.
    static std::vector<uid_t> ownersIn(QByteArrayView listing);
};
