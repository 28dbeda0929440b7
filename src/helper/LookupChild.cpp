#include "helper/LookupChild.h"

#include "helper/DnsLookups.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The user and group nobody on every Debian system.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
// The records one looked-up name may bring back; more is no answer we use.
constexpr size_t kMostPerName = 16;
constexpr size_t kMostRecords = size_t(1) << 20;
// Time for the child to hand over what it found once its lookups stop.
constexpr auto kHandOver = 250ms;
// The child's own end, should its lookups somehow not stop at the deadline.
constexpr auto kHardStop = 1s;
constexpr int kNiceness = 10;
constexpr int kResultsFd = 3;
constexpr int kStartFd = 4;

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Waits for the go-ahead: a byte, or the pipe's end when the block failed.
bool awaitStart() {
    char go = 0;
    ssize_t n;
    while ((n = ::read(kStartFd, &go, 1)) < 0 && errno == EINTR) {
    }
    return n == 1;
}

} // namespace

LookupChild::LookupChild(const NameLines& hostNames, Clock::time_point deadline)
    : m_deadline(deadline),
      m_most(std::min(size_t(hostNames.count()) * 2 * kMostPerName, kMostRecords)) {
    int results[2], start[2];
    if (hostNames.isEmpty() || ::pipe2(results, O_CLOEXEC) != 0)
        return;
    if (::pipe2(start, O_CLOEXEC) != 0) {
        ::close(results[0]);
        ::close(results[1]);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Our own ends at fixed places; nothing else of the parent's stays
        // open, least of all the caller's pipes, which it reads to their end.
        const int null = ::open("/dev/null", O_RDWR);
        const int out = ::fcntl(results[1], F_DUPFD, kStartFd + 1);
        const int in = ::fcntl(start[0], F_DUPFD, kStartFd + 1);
        if (null < 0 || out < 0 || in < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 ||
            ::dup2(null, 2) < 0 || ::dup2(out, kResultsFd) < 0 || ::dup2(in, kStartFd) < 0 ||
            ::close_range(kStartFd + 1, ~0U, 0) != 0)
            ::_exit(1);
        runChild(hostNames);
    }
    ::close(results[1]);
    ::close(start[0]);
    if (child < 0) {
        ::close(results[0]);
        ::close(start[1]);
        return;
    }
    m_results.reset(results[0]);
    m_start.reset(start[1]);
}

LookupChild::~LookupChild() = default;

void LookupChild::runChild(const NameLines& hostNames) {
    // The block itself goes first: the caller waits for it, not for these.
    ::setpriority(PRIO_PROCESS, 0, kNiceness);
    const auto left =
        std::chrono::ceil<std::chrono::seconds>(m_deadline - Clock::now() + kHardStop);
    ::alarm(unsigned(std::max<qint64>(left.count(), 1)));
    // The first queries go out, and so the sockets are made, while we are
    // still root: only root may give them room for a burst of answers. No
    // answer is read before the rights are gone.
    DnsLookups lookups(hostNames, DnsLookups::WwwForms::Too);
    if (!dropPrivileges(kNobody, kNogroup) || !awaitStart())
        ::_exit(1);
    lookups.run(m_deadline);
    std::vector<char> records;
    records.reserve(lookups.found().size() * kRecordSize);
    for (const Address& address : lookups.found()) {
        records.push_back(char(address.family == AF_INET ? 4 : 6));
        const auto* bytes = reinterpret_cast<const char*>(address.bytes.s6_addr);
        records.insert(records.end(), bytes, bytes + 16);
    }
    ::_exit(writeAll(kResultsFd, records.data(), records.size()) ? 0 : 1);
}

std::vector<LookupChild::Address> LookupChild::collect() {
    std::vector<Address> found;
    if (m_start.get() < 0)
        return found;
    // A child that is gone already (its time is up) must not take us along.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const char go = 'g';
    const bool started = writeAll(m_start.get(), &go, 1);
    ::sigaction(SIGPIPE, &previous, nullptr);
    m_start.reset(-1);
    if (!started)
        return found;
    const auto deadline = m_deadline + kHandOver;
    unsigned char buffer[kRecordSize * 1024];
    size_t held = 0;
    while (found.size() < m_most) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{m_results.get(), POLLIN, 0};
        const int polled = left.count() > 0 ? ::poll(&ready, 1, int(left.count())) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        const ssize_t n = ::read(m_results.get(), buffer + held, sizeof buffer - held);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        held += size_t(n);
        const size_t whole = held - held % kRecordSize;
        for (size_t at = 0; at < whole && found.size() < m_most; at += kRecordSize) {
            if (const auto address = fromRecord(buffer + at))
                found.push_back(*address);
        }
        std::memmove(buffer, buffer + whole, held - whole);
        held -= whole;
    }
    // A child that is still writing gets a broken pipe and ends.
    m_results.reset(-1);
    return found;
}

std::optional<LookupChild::Address> LookupChild::fromRecord(const unsigned char* record) {
    const unsigned char family = record[0];
    if (family == 4 &&
        std::all_of(record + 5, record + kRecordSize, [](unsigned char b) { return b == 0; }))
        return Address::from(AF_INET, record + 1);
    if (family == 6)
        return Address::from(AF_INET6, record + 1);
    return std::nullopt;
}

bool LookupChild::dropPrivileges(uid_t uid, gid_t gid) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
        ::setresuid(uid, uid, uid) != 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    // Leaving root clears the permitted and effective sets; the others go
    // here, and then all of them must read empty.
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    __user_cap_data_struct held[2] = {};
    if (::syscall(SYS_capset, &header, none) != 0 || ::syscall(SYS_capget, &header, held) != 0)
        return false;
    for (const auto& set : held) {
        if (set.effective || set.permitted || set.inheritable)
            return false;
    }
    uid_t r, e, s;
    gid_t rg, eg, sg;
    return ::getresuid(&r, &e, &s) == 0 && r == uid && e == uid && s == uid &&
           ::getresgid(&rg, &eg, &sg) == 0 && rg == gid && eg == gid && sg == gid &&
           ::getgroups(0, nullptr) == 0 && (uid == 0 || ::setuid(0) != 0);
}
