#include "fakes/SkipOrFail.h"
#include "helper/NftBlock.h"

#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

// 0, or why a TCP connect to `host` failed; `listen` listens there instead.
// IPv4 goes as v4-mapped, so "::" listens for both.
static int tcp(const char* host, int port, bool listen = false) {
    sockaddr_in6 at{AF_INET6, htons(port), 0, {}, 0};
    const QByteArray text =
        QByteArray(host).contains(':') ? QByteArray(host) : "::ffff:" + QByteArray(host);
    ::inet_pton(AF_INET6, text.constData(), &at.sin6_addr);
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto* to = reinterpret_cast<sockaddr*>(&at);
    if (listen)
        return ::bind(fd, to, sizeof at) || ::listen(fd, 64) ? errno : 0;
    const int error = ::connect(fd, to, sizeof at) ? errno : 0;
    ::close(fd);
    return error;
}

// 0, or why a UDP send to `host`, as QUIC makes it, failed or was answered
// by an ICMP error.
static int udp(const char* host, int port) {
    sockaddr_in at{AF_INET, htons(port), {}, {}};
    ::inet_pton(AF_INET, host, &at.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int error =
        ::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) || ::send(fd, "q", 1, 0) < 0
            ? errno
            : 0;
    pollfd answer{fd, POLLIN, 0};
    if (!error && ::poll(&answer, 1, 100) == 1 && ::recv(fd, &answer, 1, MSG_DONTWAIT) < 0)
        error = errno;
    ::close(fd);
    return error;
}

// The real kernel layer in a network namespace of its own, never the
// machine's ruleset. The sites are addresses on lo.
class TestNftBlock : public QObject {
    Q_OBJECT
    QElapsedTimer sinceAdd_;

private slots:
    void initTestCase() {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0)
            SKIP_OR_FAIL("needs root for a network namespace");
        QCOMPARE(std::system("ip link set lo up && ip addr add 192.0.2.10/32 dev lo && "
                             "ip addr add 192.0.2.11/32 dev lo && ip addr add 2001:db8::10 dev lo"),
                 0);
        QVERIFY(!tcp("::", 443, true) && !tcp("::", 80, true) && !tcp("::", 8080, true));
        // A QUIC listener, kept open: only the rule may refuse its packets.
        sockaddr_in quic{AF_INET, htons(443), {}, {}};
        QCOMPARE(::bind(::socket(AF_INET, SOCK_DGRAM, 0), reinterpret_cast<sockaddr*>(&quic),
                        sizeof quic),
                 0);
        if (const QString reason = NftBlock::prepare(0); !reason.isEmpty())
            SKIP_OR_FAIL(reason);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(NftBlock::prepare(0), QString()); // the app waits for it
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(NftBlock::prepare(1000), QString());
        QCOMPARE(std::system("test $(nft list chain inet tarnhollow out_0 | grep -c reject) = 4"),
                 0);
        std::vector<NftBlock::Address> site(2);
        ::inet_pton(AF_INET, "192.0.2.10", &site[0].bytes);
        site[1].family = AF_INET6;
        ::inet_pton(AF_INET6, "2001:db8::10", &site[1].bytes);
        QCOMPARE(NftBlock::add(0, site, 2000ms), QString());
        sinceAdd_.start();
        site.resize(1);
        ::inet_pton(AF_INET, "192.0.2.11", &site[0].bytes);
        QCOMPARE(NftBlock::add(0, site, 1000ms), QString());
        QCOMPARE(NftBlock::add(0, site, 60000ms), QString()); // sets the later end
    }

    // In order: each row waits until `at` ms after the add. With nobody left
    // to remove them, the addresses end on their own.
    void blocks_data() {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port"); // negative: UDP
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("error");
        QTest::newRow("HTTPS") << QByteArray("192.0.2.10") << 443 << 0 << ECONNREFUSED;
        QTest::newRow("HTTP") << QByteArray("192.0.2.10") << 80 << 0 << ECONNREFUSED;
        QTest::newRow("QUIC") << QByteArray("192.0.2.10") << -443 << 0 << EPERM;
        QTest::newRow("HTTPS over IPv6") << QByteArray("2001:db8::10") << 443 << 0 << ECONNREFUSED;
        QTest::newRow("other port") << QByteArray("192.0.2.10") << 8080 << 0 << 0;
        QTest::newRow("before its end") << QByteArray("192.0.2.10") << 443 << 1800 << ECONNREFUSED;
        QTest::newRow("after its end") << QByteArray("192.0.2.10") << 443 << 3000 << 0;
        QTest::newRow("added again") << QByteArray("192.0.2.11") << 443 << 3000 << ECONNREFUSED;
    }

    void blocks() {
        QFETCH(QByteArray, host);
        QFETCH(int, port);
        QFETCH(int, at);
        QFETCH(int, error);
        std::this_thread::sleep_for(std::chrono::milliseconds(at - sinceAdd_.elapsed()));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(port < 0 ? udp(host, -port) : tcp(host, port), error);
        QVERIFY(timer.elapsed() < 200);
    }

    void removes() {
        NftBlock::remove(1000);
        QCOMPARE(tcp("192.0.2.11", 443), ECONNREFUSED);
        NftBlock::remove(0);
        QCOMPARE(tcp("192.0.2.11", 443), 0);
        QVERIFY(std::system("nft list table inet tarnhollow 2>/dev/null") != 0);
        NftBlock::remove(0);
    }
};

QTEST_GUILESS_MAIN(TestNftBlock)
#include "tst_NftBlock.moc"
