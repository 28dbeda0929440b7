#include "fakes/FileBytes.h"
#include "fakes/SkipOrFail.h"
#include "helper/ConnectionCloser.h"
#include "helper/DnsLookups.h"
#include "helper/LookupChild.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Inside the new namespaces: a private copy of /etc in %1 whose files answer
// every name the test looks up and send any other to the name server of
// serveDns(), and whose browser policy folders take the helper's writes; v1
// moves to the "remote" namespace, open as %2.
const char kSetup[] =
    "cp -a /etc %1/etc && mount --bind %1/etc /etc && cd /etc && rm -f resolv.conf && "
    "printf '192.0.2.10 site.test www.site.test\\n127.0.0.1 loop.test\\n::1 loop6.test\\n"
    "169.254.1.1 link.test\\nfe80::1 link6.test\\n0.0.0.0 zero.test\\n:: zero6.test\\n"
    "::ffff:127.0.0.1 mapped.test\\n192.0.2.11 www.other.test\\n' >hosts && echo nameserver "
    "192.0.2.53 >resolv.conf && echo hosts: files dns >nsswitch.conf && "
    "ip link set lo up && ip link add v0 type veth peer name v1 && ip addr add 192.0.2.1/24 dev "
    "v0 && ip link set v0 up && ip route add default via 192.0.2.10 && ip link set v1 netns "
    "/proc/self/fd/%2";

// A socket of `owner` (it belongs to whoever created it) bound or connected to `url`.
int socketFor(const QUrl& url, uid_t owner, bool listen = false) {
    addrinfo hints{}, *to = nullptr;
    hints.ai_socktype = url.scheme() == "udp" ? SOCK_DGRAM : SOCK_STREAM;
    if (::getaddrinfo(qPrintable(url.host()), QByteArray::number(url.port()), &hints, &to) ||
        ::seteuid(owner))
        return -1;
    const int fd = ::socket(to->ai_family, to->ai_socktype | SOCK_CLOEXEC, 0);
    const bool ready =
        !::seteuid(0) && (listen ? !::bind(fd, to->ai_addr, to->ai_addrlen) && !::listen(fd, 16)
                                 : !::connect(fd, to->ai_addr, to->ai_addrlen));
    ::freeaddrinfo(to);
    return ready ? fd : -1;
}

// A keep-alive web server on `listener` that answers every request with `body`.
bool serve(int listener, const QByteArray& body) {
    const QByteArray reply =
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    std::thread([=] {
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            std::thread([=] {
                char request[512];
                while (::recv(fd, request, sizeof request, 0) > 0)
                    ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                ::close(fd);
            }).detach();
    }).detach();
    return listener >= 0;
}

// One request on `fd`, as a browser tab makes it: the body, or empty once the connection is gone.
QByteArray get(int fd) {
    char buf[512] = "GET / HTTP/1.1\r\nHost: site.test\r\n\r\n";
    const bool sent = ::send(fd, buf, std::strlen(buf), MSG_NOSIGNAL) > 0;
    const QByteArray reply(buf, sent ? std::max<ssize_t>(::recv(fd, buf, sizeof buf, 0), 0) : 0);
    return reply.split('\n').last();
}

// A name server on 192.0.2.53 in the current network namespace: A queries for
// N.answered.test get 10.0.N/256.N%256 (10.1.N/256.N%256 for www.N.answered.test),
// AAAA ones 2001:db8::N (2001:db8::1:N); other names get no answer, as from a
// server that is down.
bool serveDns() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{AF_INET, htons(53), {htonl(0xC0000235)}, {}};
    const int room = 4 << 20; // for a burst of queries, as a real server has
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at))
        return false;
    std::thread([=] {
        unsigned char m[512 + 32];
        sockaddr_in from{};
        for (socklen_t size = sizeof from;
             ::recvfrom(fd, m, 512, 0, reinterpret_cast<sockaddr*>(&from), &size) > 12;
             size = sizeof from) {
            // The question's name as labels, from byte 12; then its type and class.
            const QByteArray name(reinterpret_cast<char*>(m) + 12);
            if (!name.endsWith("\010answered\004test"))
                continue;
            const uchar www = name.startsWith("\003www");
            const int n = name.mid(1 + 4 * www, name[4 * www]).toInt(), end = 12 + name.size() + 5;
            const bool a = m[end - 3] == 1; // type A, else AAAA
            const unsigned char answer[] = {0xC0, 12, 0, uchar(a ? 1 : 28), 0, 1, 0, 0,
                                            0,    60, 0, uchar(a ? 4 : 16)};
            const unsigned char v4[] = {10, www, uchar(n >> 8), uchar(n)};
            unsigned char v6[16] = {0x20, 0x01, 0x0d, 0xb8};
            std::copy(v4 + 1, v4 + 4, v6 + 13);
            m[2] |= 0x80; // a response
            m[3] = 0x80;  // recursion available, no error
            std::fill(m + 6, m + 12, 0);
            m[7] = 1; // one answer; no other records
            std::copy(answer, answer + 12, m + end);
            std::copy(a ? v4 : v6, a ? v4 + 4 : v6 + 16, m + end + 12);
            ::sendto(fd, m, end + (a ? 16 : 28), 0, reinterpret_cast<sockaddr*>(&from), size);
        }
    }).detach();
    return true;
}

} // namespace

// A real "remote" site in a second network namespace behind a veth pair.
class TestConnectionCloser : public QObject {
    Q_OBJECT
    QTemporaryDir files_;
    QByteArray realHosts_ = readAll("/etc/hosts");
    int realRoot_ = ::open("/", O_PATH | O_CLOEXEC); // sees the system's mounts, not ours

private slots:
    void initTestCase() {
        if (geteuid() != 0)
            SKIP_OR_FAIL("needs root for network namespaces");
        int remote = -1, local = -1;
        if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            (remote = ::open("/proc/self/ns/net", O_RDONLY)) < 0 || ::unshare(CLONE_NEWNET) ||
            (local = ::open("/proc/self/ns/net", O_RDONLY)) < 0 ||
            // The helper's waiter keeps its files here, never in the system's /run.
            ::mount("tmpfs", "/run", "tmpfs", 0, "mode=755") != 0)
            SKIP_OR_FAIL("no private network and mount namespaces here");
        if (std::system(qPrintable(QString(kSetup).arg(files_.path()).arg(remote))))
            SKIP_OR_FAIL("needs iproute2 with veth");
        QCOMPARE(::setns(remote, CLONE_NEWNET), 0);
        QCOMPARE(std::system("ip addr add 192.0.2.10/24 dev v1 && ip addr add 192.0.2.53/24 dev v1 "
                             "&& ip link set v1 up"),
                 0);
        QVERIFY(serveDns());
        QVERIFY(serve(socketFor(QUrl("tcp://192.0.2.10:80"), 0, true), "remote"));
        // Never accepted from: the kernel holds its connections open.
        QVERIFY(socketFor(QUrl("tcp://192.0.2.10:8080"), 0, true) >= 0);
        QCOMPARE(::setns(local, CLONE_NEWNET), 0);
        QVERIFY(serve(socketFor(QUrl("tcp://127.0.0.1:80"), 0, true), "local"));
    }

    // Whatever failed, the waiter the helper left for its block ends here.
    void cleanupTestCase() {
        if (geteuid() == 0) {
            [[maybe_unused]] const int ignored =
                std::system("'" TARNHOLLOW_HELPER "' unblock >/dev/null 2>&1");
        }
    }

    void closes_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("resolved");   // addresses, after dropping local and duplicate ones
        QTest::addColumn<QString>("client"); // the connection open before the block
        QTest::addColumn<uint>("owner");
        QTest::addColumn<bool>("closed");
        const QStringList site{"site.test", "www.site.test"};
        QTest::newRow("TCP 80") << site << 1 << "tcp://192.0.2.10:80" << 0u << true;
        QTest::newRow("QUIC 443") << site << 1 << "udp://192.0.2.10:443" << 0u << true;
        QTest::newRow("v4-mapped") << site << 1 << "tcp://[::ffff:192.0.2.10]:80" << 0u << true;
        QTest::newRow("other port") << site << 1 << "tcp://192.0.2.10:8080" << 0u << false;
        QTest::newRow("www. form")
            << QStringList{"other.test"} << 1 << "tcp://192.0.2.10:80" << 0u << false;
        QTest::newRow("other user") << site << 1 << "tcp://192.0.2.10:80" << 65534u << false;
        QTest::newRow("local addresses")
            << QStringList{"loop.test", "loop6.test", "link.test",  "link6.test",
                           "zero.test", "zero6.test", "mapped.test"}
            << 0 << "tcp://127.0.0.1:80" << 0u << false;
        QTest::newRow("20000 names, unanswered ones cut off at the deadline")
            << site + QStringList(20000, "unanswered.test") << 1 << "tcp://192.0.2.10:80" << 0u
            << true;
    }

    void closes() {
        QFETCH(QStringList, names);
        QFETCH(int, resolved);
        QFETCH(QString, client);
        QFETCH(uint, owner);
        QFETCH(bool, closed);
        QElapsedTimer timer;
        timer.start();
        // The hosts file answers from memory; every other name goes to DNS.
        DnsLookups lookups(NameLines::of(names));
        lookups.run(DnsLookups::Clock::now() + 400ms);
        std::vector<ConnectionCloser::Address> addresses =
            ConnectionCloser::addressesIn(readAll("/etc/hosts"), NameLines::of(names));
        addresses.insert(addresses.end(), lookups.found().begin(), lookups.found().end());
        addresses = ConnectionCloser::cleaned(addresses);
        QVERIFY(timer.elapsed() < 800);
        QCOMPARE(int(addresses.size()), resolved);

        const int fd = socketFor(QUrl(client), owner);
        QVERIFY(fd >= 0);
        timer.restart();
        const QString error = ConnectionCloser::closeConnections(addresses, 0);
        if (error.contains("cannot close sockets"))
            SKIP_OR_FAIL(error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        pollfd seen{fd, POLLIN, 0};
        QCOMPARE(::poll(&seen, 1, closed ? 3000 : 100), closed ? 1 : 0);
        if (closed)
            qInfo("the client saw the close %.2f ms after the call", timer.nsecsElapsed() / 1e6);
        ::close(fd);
    }

    // Names past the first batch and past those in flight at once are asked and answered.
    void asksEveryName_data() {
        QTest::addColumn<int>("unanswered"); // listed before the answered ones
        QTest::addColumn<int>("answered");
        QTest::newRow("one batch") << 0 << 10;
        QTest::newRow("across the first batch") << 28 << 10;
        QTest::newRow("after the first batch") << 70 << 10;
        QTest::newRow("more than in flight at once") << 0 << 300;
    }

    void asksEveryName() {
        QFETCH(int, unanswered);
        QFETCH(int, answered);
        QStringList names(unanswered, "unanswered.test");
        for (int n = 1; n <= answered; ++n)
            names << QString("%1.answered.test").arg(n);
        DnsLookups lookups(NameLines::of(names));
        lookups.run(DnsLookups::Clock::now() + 400ms);
        QCOMPARE(int(lookups.found().size()), 2 * answered); // A and AAAA
        for (int n = 1; n <= answered; ++n) {
            const in_addr_t address = htonl(0x0A000000 | n);
            QVERIFY2(std::ranges::count(lookups.found(),
                                        ConnectionCloser::Address::from(AF_INET, &address)),
                     qPrintable(names[unanswered + n - 1]));
        }
    }

    // The answers are read by nobody, without capabilities, and come back
    // whole: each name's and its www. form's, of both families.
    void lookupsRunAsNobody() {
        QStringList names;
        for (int n = 1; n <= 300; ++n)
            names << QString("%1.answered.test").arg(n);
        LookupChild lookups(NameLines::of(names), LookupChild::Clock::now() + 400ms);
        QFile children(QString("/proc/self/task/%1/children").arg(::gettid()));
        QVERIFY(children.open(QIODevice::ReadOnly));
        const QString status = "/proc/" + children.readAll().trimmed() + "/status";
        // It waits for collect() once its rights are gone.
        QTRY_VERIFY(readAll(status).contains("Uid:\t65534\t65534\t65534\t65534\n"));
        for (const char* line :
             {"Gid:\t65534\t65534\t65534\t65534\n", "Groups:\t \n", "CapPrm:\t0000000000000000\n",
              "CapEff:\t0000000000000000\n", "NoNewPrivs:\t1\n"})
            QVERIFY2(readAll(status).contains(line), line);
        const std::vector<ConnectionCloser::Address> found = lookups.collect();
        for (int n = 1; n <= 300; ++n) {
            const in_addr_t address = htonl(0x0A000000 | n), www = htonl(0x0A010000 | n);
            in6_addr v6 = {
                {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, uchar(n >> 8), uchar(n)}}};
            for (const auto& each : {ConnectionCloser::Address::from(AF_INET, &address),
                                     ConnectionCloser::Address::from(AF_INET, &www),
                                     ConnectionCloser::Address::from(AF_INET6, &v6)})
                QVERIFY(std::ranges::count(found, each));
        }
    }

    // The built helper, run as root, against a tab kept open on the site.
    void helperClosesOpenTab() {
        const QByteArray original = readAll("/etc/hosts");
        const int tab = socketFor(QUrl("tcp://site.test:80"), 0);
        // Two answers on one connection: it stays open until something closes it.
        QCOMPARE(get(tab) + get(tab), "remoteremote");
        QElapsedTimer timer;
        timer.start();
        // As root, directly; whatever it says lands in the test log.
        FILE* helper =
            ::popen("printf '600\\nsite.test\\n' | '" TARNHOLLOW_HELPER "' block >&2", "r");
        pollfd seen{tab, POLLIN, 0};
        // Readable with no request outstanding: the reset reaches its next request.
        const bool closed = ::poll(&seen, 1, 3000) == 1 && get(tab).isEmpty();
        qInfo("open tab closed %.1f ms after the helper started", timer.nsecsElapsed() / 1e6);
        QCOMPARE(::pclose(helper), 0);
        QVERIFY(closed);
        QCOMPARE(get(socketFor(QUrl("tcp://site.test:80"), 0)), "local");
        QCOMPARE(std::system("'" TARNHOLLOW_HELPER "' unblock"), 0);
        QCOMPARE(get(socketFor(QUrl("tcp://site.test:80"), 0)), "remote");
        QCOMPARE(readAll("/etc/hosts"), original);
        QCOMPARE(readAll(QString("/proc/self/fd/%1/etc/hosts").arg(realRoot_)), realHosts_);
    }
};

QTEST_GUILESS_MAIN(TestConnectionCloser)
#include "tst_ConnectionCloser.moc"
