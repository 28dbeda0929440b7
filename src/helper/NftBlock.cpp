#include "NftBlock.h"
#include "base/ScopedFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

using Address = NftBlock::Address;

constexpr char kNft[] = "/usr/sbin/nft";
constexpr char kResolvConf[] = "/etc/resolv.conf";
constexpr qsizetype kOutputLimit = 1 << 20;

// Rejecting these would cut this machine off from itself, its own network
// or its name lookups, whatever a listed name resolves to.
bool staysLocal(const Address& address) {
    const uint8_t* b = address.bytes.s6_addr;
    if (address.family == AF_INET)
        return b[0] == 0 || b[0] == 10 || b[0] == 127 || b[0] >= 224 ||
               (b[0] == 100 && (b[1] & 0xc0) == 64) || (b[0] == 169 && b[1] == 254) ||
               (b[0] == 172 && (b[1] & 0xf0) == 16) || (b[0] == 192 && b[1] == 168);
    return IN6_IS_ADDR_UNSPECIFIED(&address.bytes) || IN6_IS_ADDR_LOOPBACK(&address.bytes) ||
           IN6_IS_ADDR_LINKLOCAL(&address.bytes) || IN6_IS_ADDR_MULTICAST(&address.bytes) ||
           (b[0] & 0xfe) == 0xfc;
}

QByteArray text(const Address& address) {
    char buffer[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(address.family, &address.bytes, buffer, sizeof buffer);
    return buffer;
}

QByteArray table() {
    return "inet tarnhollow";
}

// v4_N, v6_N or out_N: every owner has its own, so one's end leaves the others.
QByteArray id(const char* kind, uid_t owner) {
    return kind + ('_' + QByteArray::number(owner));
}

QByteArray name(const char* kind, uid_t owner) {
    return table() + ' ' + id(kind, owner);
}

QByteArray setsAndChain(uid_t owner) {
    return "add table " + table() + "\nadd set " + name("v4", owner) +
           " { type ipv4_addr; flags timeout; }\nadd set " + name("v6", owner) +
           " { type ipv6_addr; flags timeout; }\nadd chain " + name("out", owner) +
           " { type filter hook output priority filter; policy accept; }\n";
}

struct NftRun {
    int spawnError = 0;
    bool exited = false; // with status 0
    QByteArray output;   // standard output and error
};

// nft without a shell or our environment, reading `in` and writing `out`.
// Returns its pid, or -1 with errno set.
pid_t spawnNft(bool terse, int in, int out, const sigset_t& pipeSignal) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in, 0);
    ::posix_spawn_file_actions_adddup2(&actions, out, 1);
    ::posix_spawn_file_actions_adddup2(&actions, out, 2);
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> arguments{const_cast<char*>("nft")};
    if (terse)
        arguments.push_back(const_cast<char*>("-t")); // sets without their elements
    arguments.push_back(const_cast<char*>("-f"));
    arguments.push_back(const_cast<char*>("-"));
    arguments.push_back(nullptr);
    char* const environment[] = {nullptr};
    pid_t pid = -1;
    const int error =
        ::posix_spawn(&pid, kNft, &actions, &attributes, arguments.data(), environment);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    errno = error;
    return error == 0 ? pid : -1;
}

// The script goes in while the output comes back, so neither side can fill
// a pipe and wait for the other; an nft that hangs is killed at the deadline.
NftRun runNft(const QByteArray& script, bool terse, std::chrono::milliseconds budget) {
    NftRun run;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        run.spawnError = errno;
        return run;
    }
    ScopedFd toNft(in[1]), nftIn(in[0]);
    if (::pipe2(out, O_CLOEXEC) != 0) {
        run.spawnError = errno;
        return run;
    }
    ScopedFd fromNft(out[0]), nftOut(out[1]);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const pid_t pid = spawnNft(terse, nftIn.get(), nftOut.get(), pipeSignal);
    run.spawnError = pid < 0 ? errno : 0;
    // Only nft may hold these now, or its output would never end.
    nftIn.reset(-1);
    nftOut.reset(-1);
    if (pid < 0)
        return run;

    // An nft that quits early must not take us with it through SIGPIPE.
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    ::fcntl(toNft.get(), F_SETFL, O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + budget;
    qsizetype written = 0;
    bool brokenPipe = false;
    for (;;) {
        if (toNft.get() >= 0 && written == script.size())
            toNft.reset(-1);
        pollfd fds[2] = {{fromNft.get(), POLLIN, 0}, {toNft.get(), POLLOUT, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = left.count() > 0 ? ::poll(fds, 2, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        if (fds[1].revents) {
            const ssize_t n =
                ::write(toNft.get(), script.constData() + written, size_t(script.size() - written));
            if (n > 0) {
                written += n;
            } else if (errno != EAGAIN && errno != EINTR) {
                brokenPipe = errno == EPIPE;
                written = script.size();
            }
        }
        if (fds[0].revents) {
            char buffer[4096];
            const ssize_t n = ::read(fromNft.get(), buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
            if (n > 0 && run.output.size() < kOutputLimit)
                run.output.append(buffer, n);
        }
    }
    if (brokenPipe) {
        const timespec now{};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// nft's first error, without the place in the script it names.
QString firstError(const NftRun& run) {
    if (run.spawnError != 0)
        return QString::fromLocal8Bit(std::strerror(run.spawnError));
    for (const QByteArray& line : run.output.split('\n')) {
        if (const qsizetype at = line.indexOf("Error: "); at >= 0)
            return QString::fromUtf8(line.mid(at + 7).trimmed());
    }
    return run.exited ? QString() : QStringLiteral("nft did not finish in time");
}

QByteArray readResolvConf() {
    const ScopedFd fd(::open(kResolvConf, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    QByteArray bytes(64 * 1024, Qt::Uninitialized);
    const ssize_t n = ::read(fd.get(), bytes.data(), size_t(bytes.size()));
    bytes.truncate(std::max<ssize_t>(n, 0));
    return bytes;
}

} // namespace

std::vector<Address> NftBlock::blockable(std::vector<Address> addresses,
                                         const std::vector<Address>& dnsServers) {
    for (Address& address : addresses)
        address = Address::from(address.family, &address.bytes);
    addresses = ConnectionCloser::cleaned(std::move(addresses));
    std::erase_if(addresses, [&](const Address& address) {
        return staysLocal(address) || std::ranges::find(dnsServers, address) != dnsServers.end();
    });
    return addresses;
}

std::vector<Address> NftBlock::dnsServersIn(QByteArrayView resolvConf) {
    std::vector<Address> servers;
    for (const QByteArray& line : resolvConf.toByteArray().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2 || words[0] != "nameserver")
            continue;
        const QByteArray host = words[1].split('%').first(); // no scope: the address alone
        in6_addr bytes{};
        if (::inet_pton(AF_INET, host.constData(), &bytes) == 1)
            servers.push_back(Address::from(AF_INET, &bytes));
        else if (::inet_pton(AF_INET6, host.constData(), &bytes) == 1)
            servers.push_back(Address::from(AF_INET6, &bytes));
    }
    return servers;
}

QByteArray NftBlock::prepareScript(uid_t owner) {
    // Rules are replaced whole in the same transaction, so a second prepare
    // leaves one copy of each.
    const QByteArray chain = name("out", owner);
    const QByteArray v4 = '@' + id("v4", owner);
    const QByteArray v6 = '@' + id("v6", owner);
    return setsAndChain(owner) + "flush chain " + chain + "\nadd rule " + chain + " ip daddr " +
           v4 + " tcp dport { 80, 443 } reject with tcp reset\nadd rule " + chain + " ip6 daddr " +
           v6 + " tcp dport { 80, 443 } reject with tcp reset\nadd rule " + chain + " ip daddr " +
           v4 + " udp dport 443 reject\nadd rule " + chain + " ip6 daddr " + v6 +
           " udp dport 443 reject\n";
}

QByteArray NftBlock::addScript(uid_t owner, const std::vector<Address>& addresses,
                               std::chrono::milliseconds timeout) {
    QByteArray script;
    for (const int family : {AF_INET, AF_INET6}) {
        QByteArray plain, timed;
        for (const Address& address : addresses) {
            if (address.family != family)
                continue;
            const char* separator = plain.isEmpty() ? "" : ", ";
            plain += separator + text(address);
            timed += separator + text(address) + " timeout " +
                     QByteArray::number(qint64(timeout.count())) + "ms";
        }
        if (plain.isEmpty())
            continue;
        // An element that is already there keeps its old timeout through an
        // add; taking it out first in the same transaction sets the new one.
        const QByteArray set = name(family == AF_INET ? "v4" : "v6", owner);
        script += "add element " + set + " { " + plain + " }\ndelete element " + set + " { " +
                  plain + " }\nadd element " + set + " { " + timed + " }\n";
    }
    return script;
}

QByteArray NftBlock::removeScript(uid_t owner, bool lastOwner) {
    // Added first, so that deleting what is not there cannot fail the rest.
    if (lastOwner)
        return "add table " + table() + "\ndelete table " + table() + '\n';
    return setsAndChain(owner) + "delete chain " + name("out", owner) + "\ndelete set " +
           name("v4", owner) + "\ndelete set " + name("v6", owner) + '\n';
}

std::vector<uid_t> NftBlock::ownersIn(QByteArrayView listing) {
    std::vector<uid_t> owners;
    for (const QByteArray& line : listing.toByteArray().split('\n')) {
        const QByteArray words = line.simplified();
        if (!words.startsWith("set v4_") && !words.startsWith("set v6_"))
            continue;
        bool ok = false;
        const uint owner = words.mid(7, words.indexOf(' ', 7) - 7).toUInt(&ok);
        if (ok)
            owners.push_back(uid_t(owner));
    }
    std::ranges::sort(owners);
    owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
    return owners;
}

namespace {
QString aloneLead() {
    return QStringLiteral("Websites are blocked through the hosts file alone: ");
}
} // namespace

QString NftBlock::missing() {
    if (::access(kNft, X_OK) != 0)
        return aloneLead() + QStringLiteral("nft is not installed.");
    return {};
}

QString NftBlock::prepare(uid_t owner) {
    const NftRun run = runNft(prepareScript(owner), false, 3s);
    if (run.spawnError == 0 && run.exited)
        return {};
    const QString lead = aloneLead();
    if (run.spawnError == ENOENT)
        return lead + QStringLiteral("nft is not installed.");
    const QString error = firstError(run);
    if (error.contains(QLatin1String("not supported"), Qt::CaseInsensitive))
        return lead + QStringLiteral("this system's kernel has no nftables support.");
    return lead + error + u'.';
}

QString NftBlock::add(uid_t owner, const std::vector<Address>& addresses,
                      std::chrono::milliseconds left) {
    if (left <= 0ms)
        return {};
    const QByteArray script =
        addScript(owner, blockable(addresses, dnsServersIn(readResolvConf())), left);
    if (script.isEmpty())
        return {};
    const NftRun run = runNft(script, false, 10s);
    if (run.spawnError == 0 && run.exited)
        return {};
    return QStringLiteral("The blocked websites' addresses could not be added to the "
                          "firewall: %1")
        .arg(firstError(run));
}

void NftBlock::remove(uid_t owner) {
    const NftRun listing = runNft("list table " + table() + '\n', true, 3s);
    if (listing.spawnError != 0 || !listing.exited)
        return; // no table, or no nft: nothing of ours to remove
    std::vector<uid_t> others = ownersIn(listing.output);
    std::erase(others, owner);
    (void)runNft(removeScript(owner, others.empty()), false, 3s);
}
