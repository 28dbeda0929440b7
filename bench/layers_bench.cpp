// The firewall layer for 1, 1,000 and 100,000 blocked names: what NftBlock
// itself costs and how many elements the sets then hold, and what the layer
// adds to the built helper's `block` as a user sees it, with nft and with nft
// masked. Runs in private mount and network namespaces with a private copy of
// /etc, as helper_bench does, and a PID namespace too: the helper ends every
// waiter of owner 0 it sees, and must not see another's. Needs root.
//   layers_bench [runs=3]
#include "BenchNamespace.h"

#include "helper/NftBlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

using Address = NftBlock::Address;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Name i's addresses, from 198.18.0.0/15 and 2001:db8::/32: neither is local.
QByteArray v4Of(int i) {
    const int n = i + 1;
    return "198." + QByteArray::number(18 + (n >> 16)) + '.' + QByteArray::number((n >> 8) & 255) +
           '.' + QByteArray::number(n & 255);
}

QByteArray v6Of(int i) {
    return "2001:db8::" + QByteArray::number((i + 1) >> 16, 16) + ':' +
           QByteArray::number((i + 1) & 0xffff, 16);
}

Address addressOf(const QByteArray& text) {
    Address address{text.contains(':') ? AF_INET6 : AF_INET, {}};
    ::inet_pton(address.family, text.constData(), &address.bytes);
    return address;
}

QByteArray nameOf(int i) {
    return "site" + QByteArray::number(i) + ".test";
}

QByteArray output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

// The elements of set `name` in our table; 0 when it is not there.
qsizetype elementsIn(const char* name) {
    const QJsonArray items =
        QJsonDocument::fromJson(output("nft", {"-j", "list", "set", "inet", "tarnhollow", name}))
            .object()["nftables"]
            .toArray();
    for (const QJsonValue& item : items) {
        if (item.toObject().contains("set"))
            return item.toObject()["set"].toObject()["elem"].toArray().size();
    }
    return 0;
}

// What nft says of the set's size or memory, on versions that say it.
QByteArray memoryOf(const char* name) {
    QByteArray lines;
    for (const QByteArray& line :
         output("nft", {"list", "set", "inet", "tarnhollow", name}).split('\n')) {
        const QByteArray words = line.simplified();
        if (words.startsWith("size") || words.contains("memory"))
            lines += (lines.isEmpty() ? "" : "; ") + words;
    }
    return lines;
}

// Until the forked child of the last block has gone, so no run is timed
// against it or waits for its lock. It rewrites the browsers' policies after
// 5 s, but with 100,000 names its lookups and set fill take up to half a
// minute.
void awaitBackgroundWork() {
    const QByteArray cmdline = QByteArray(TARNHOLLOW_HELPER) + '\0' + "block" + '\0';
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        bool busy = false;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile file("/proc/" + pid + "/cmdline");
            busy = busy || (file.open(QIODevice::ReadOnly) && file.readAll() == cmdline);
        }
        if (!busy)
            return;
        QThread::msleep(5);
    }
}

// Milliseconds from the start of one `block` of `names` names, from a clean
// state, to its exit; -1 when it failed. `filled`, when given, gets the time
// until v4_0 holds every name's address, and stays as it is after 10 s.
double blockOnce(const QByteArray& hosts, const QByteArray& request, int names, double* filled) {
    output(TARNHOLLOW_HELPER, {"unblock"});
    awaitBackgroundWork();
    if (QFile file("/etc/hosts");
        !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(hosts) != hosts.size())
        return -1;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(TARNHOLLOW_HELPER, {"block"});
    process.write(request);
    process.closeWriteChannel();
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "block failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    const double wallMs = timer.nsecsElapsed() / 1e6;
    for (; filled && timer.elapsed() < 10000; QThread::msleep(20)) {
        if (elementsIn("v4_0") >= names) {
            *filled = timer.nsecsElapsed() / 1e6;
            break;
        }
    }
    return wallMs;
}

QString ms(double value) {
    return value < 0 ? QStringLiteral("failed") : QString::number(value, 'f', 1);
}

} // namespace

int main(int argc, char** argv) {
    if (!BenchNamespace::enter(argc, argv, "layers_bench"))
        return 1;
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    QTextStream out(stdout);
    const QString root = BenchNamespace::privateSystem();
    const QString noNft = QStringLiteral(": > '%1/no-nft' && chmod 644 '%1/no-nft'").arg(root);
    if (root.isEmpty() || std::system(noNft.toLocal8Bit().constData()) != 0)
        return 1;

    out << "runs: " << runs << " (100,000 names: 1), medians in ms; private namespaces\n"
        << "firewall layer, NftBlock on owner 0:\n";
    for (const int names : {1, 1000, 100000}) {
        std::vector<Address> addresses;
        for (int i = 0; i < names; ++i)
            addresses.insert(addresses.end(), {addressOf(v4Of(i)), addressOf(v6Of(i))});
        if (NftBlock::blockable(addresses, {}).size() != addresses.size()) {
            out << "the addresses are filtered as local\n";
            return 1;
        }
        std::vector<double> prepare, add, remove;
        qsizetype v4 = 0, v6 = 0;
        QByteArray memory;
        for (int run = 0; run < (names > 1000 ? 1 : runs); ++run) {
            QElapsedTimer timer;
            timer.start();
            if (const QString reason = NftBlock::prepare(0); !reason.isEmpty()) {
                out << reason << '\n';
                return 1;
            }
            prepare.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            const QString failed = NftBlock::add(0, addresses, std::chrono::seconds(60));
            add.push_back(failed.isEmpty() ? timer.nsecsElapsed() / 1e6 : -1);
            v4 = elementsIn("v4_0"), v6 = elementsIn("v6_0");
            memory = memoryOf("v4_0");
            timer.restart();
            NftBlock::remove(0);
            remove.push_back(timer.nsecsElapsed() / 1e6);
        }
        out << QStringLiteral("  %1 names: prepare %2, add %3, remove %4; v4_0 holds %5, v6_0 "
                              "%6 elements; kernel memory: %7\n")
                   .arg(names)
                   .arg(ms(median(prepare)), ms(median(add)), ms(median(remove)))
                   .arg(QString::number(v4), QString::number(v6),
                        QString::fromUtf8(memory.isEmpty() ? "not shown by this nft" : memory));
        out.flush();
    }

    out << "helper block as a user sees it, the hosts file giving each name its addresses:\n";
    const QByteArray head = "127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n";
    for (const int names : {1, 1000, 100000}) {
        QByteArray hosts = head, request = "1500\n";
        for (int i = 0; i < names; ++i) {
            hosts += v4Of(i) + ' ' + nameOf(i) + '\n' + v6Of(i) + ' ' + nameOf(i) + '\n';
            request += nameOf(i) + '\n';
        }
        const int count = names > 1000 ? 1 : runs;
        std::vector<double> with, filled, without;
        for (int run = 0; run < count; ++run) {
            double filledMs = -1;
            with.push_back(blockOnce(hosts, request, names, &filledMs));
            filled.push_back(filledMs);
        }
        // Cleared while nft still runs, then masked by a file it cannot run.
        output(TARNHOLLOW_HELPER, {"unblock"});
        if (std::system(("mount --bind '" + root + "/no-nft' /usr/sbin/nft").toLocal8Bit()) != 0)
            return 1;
        for (int run = 0; run < count; ++run)
            without.push_back(blockOnce(hosts, request, names, nullptr));
        output(TARNHOLLOW_HELPER, {"unblock"});
        awaitBackgroundWork();
        if (std::system("umount /usr/sbin/nft") != 0)
            return 1;
        const double withMs = median(with), withoutMs = median(without);
        const QString added = withMs < 0 || withoutMs < 0
                                  ? QStringLiteral("unknown")
                                  : QString::number(withMs - withoutMs, 'f', 1);
        out << QStringLiteral("  %1 names: block with nft %2, without %3, added %4; set filled "
                              "%5 after the start\n")
                   .arg(names)
                   .arg(ms(withMs), ms(withoutMs), added)
                   .arg(median(filled) < 0 ? QStringLiteral("not within 10 s")
                                           : ms(median(filled)));
        out.flush();
    }
    output(TARNHOLLOW_HELPER, {"unblock"});
    return 0;
}
