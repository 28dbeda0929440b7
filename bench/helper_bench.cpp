// The root helper on large inputs, as the app runs it: `block` and
// `unblock` of the built helper against a private copy of /etc on tmpfs, in
// private mount, network and pid namespaces (DNS fails at once there), beside
// awk and cat on the same files. Needs root. Prints medians and ratios. Each
// run starts once the previous block's background connection closing is done.
// Last, the instructions a block of 100,000 names costs, under callgrind.
//   helper_bench [runs=7 | instructions]
#include "BenchNamespace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

int runs = 7;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// `lines` lines of a published block list, after the usual head.
QByteArray hostsOf(qsizetype lines, qsizetype lineBytes = 0) {
    QByteArray text = "127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n";
    char line[128];
    for (qsizetype i = 0; i < lines - 2; ++i) {
        const int n = lineBytes ? std::snprintf(line, sizeof line, "0.0.0.0 %0*lld.tld\n",
                                                int(lineBytes - 13), static_cast<long long>(i))
                                : std::snprintf(line, sizeof line, "0.0.0.0 name%06lld.tld\n",
                                                static_cast<long long>(i));
        text.append(line, n);
    }
    return text;
}

QByteArray requestOf(int names) {
    QByteArray request = "1500\n";
    for (int i = 0; i < names; ++i)
        request += "site" + QByteArray::number(i) + ".test\n";
    return request;
}

bool put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Milliseconds from start to exit; -1 when the program failed.
double timed(const QString& program, const QStringList& arguments, const QByteArray& input = {},
             const QString& outputFile = QString(), int expectedExit = 0) {
    QProcess process;
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    else
        process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(-1) || process.exitCode() != expectedExit)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

// Until the connection closing a block leaves running has finished, so that
// no run is timed against the previous one's background work.
void awaitBackgroundWork() {
    BenchNamespace::awaitHelperBlocks(QStringLiteral(TARNHOLLOW_HELPER), 5000, 1);
}

// The helper on `hosts` as /etc/hosts, fresh for every run.
double helperMs(const QByteArray& hosts, const char* action, const QByteArray& request) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        if (!put("/etc/hosts", hosts))
            return -1;
        if (QByteArray(action) == "unblock" && timed(TARNHOLLOW_HELPER, {"block"}, request) < 0)
            return -1;
        awaitBackgroundWork();
        const double ms = timed(TARNHOLLOW_HELPER, {action}, request);
        if (ms < 0)
            return -1;
        times.push_back(ms);
    }
    return median(times);
}

double anchorMs(const QString& program, const QStringList& arguments, const QString& output) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run)
        times.push_back(timed(program, arguments, {}, output));
    return median(times);
}

const char kAwk[] = "FILENAME == ARGV[1] { t = $0; gsub(/^[ \\t\\r]+|[ \\t\\r]+$/, \"\", t);"
                    "  if (t == \"# Tarnhollow:BEGIN\") { inside = 1; next }"
                    "  if (t == \"# Tarnhollow:END\") { inside = 0; next }"
                    "  if (!inside) print; next } { print }";

// The "summary:" count of a callgrind output file, and whether it holds the
// lookup child's own function; 0 until the file is complete.
qint64 instructionsIn(const QString& path, bool* lookups, bool* ended) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    *lookups = *lookups || text.contains("LookupChild::runChild");
    *ended = *ended || text.contains("\ndesc: Trigger: Program termination");
    const qsizetype at = text.indexOf("\nsummary: ");
    return at < 0 ? 0 : text.mid(at + 10, text.indexOf('\n', at + 1) - at - 10).toLongLong();
}

// A block of `names` names, sorted as the app sends them, under callgrind:
// the process the caller waits for, its closing child (both root) and the
// lookup child (nobody). Every fork dumps and zeroes the counts, so each
// process's files (cg.<pid>.<part>) hold only its own instructions.
void printInstructions(QTextStream& out, const QString& root, int names) {
    const QString dir = root + "/callgrind";
    QDir().mkpath(dir);
    // The lookup child writes its own file as nobody.
    if (std::system(("chmod 1777 '" + dir + "'").toLocal8Bit().constData()) != 0)
        return;
    put("/etc/hosts", hostsOf(1000));
    QByteArrayList sorted;
    for (int i = 0; i < names; ++i)
        sorted << "site" + QByteArray::number(i) + ".test";
    std::sort(sorted.begin(), sorted.end());
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start("valgrind",
                  {"--tool=callgrind", "--dump-before=*fork*",
                   "--callgrind-out-file=" + dir + "/cg.%p", TARNHOLLOW_HELPER, "block"});
    const QString mainPid = QString::number(process.processId());
    process.write("1500\n" + sorted.join('\n') + '\n');
    process.closeWriteChannel();
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        out << "callgrind: the block failed; is valgrind installed?\n";
        return;
    }
    // The closing child ends after rewriting the browsers' lists, 5 s on.
    qint64 waited = 0, closing = 0, lookups = 0;
    QElapsedTimer timer;
    for (timer.start(); timer.elapsed() < 60000; QThread::msleep(200)) {
        QHash<QString, qint64> byPid;
        QSet<QString> lookupPids, ended;
        for (const QString& name : QDir(dir).entryList(QDir::Files)) {
            const QString pid = name.section('.', 1, 1);
            bool isLookup = false, hasEnded = false;
            byPid[pid] += instructionsIn(dir + '/' + name, &isLookup, &hasEnded);
            if (isLookup)
                lookupPids << pid;
            if (hasEnded)
                ended << pid;
        }
        const bool allEnded = ended.size() == byPid.size();
        waited = byPid.take(mainPid);
        closing = lookups = 0;
        for (auto it = byPid.cbegin(); it != byPid.cend(); ++it)
            (lookupPids.contains(it.key()) ? lookups : closing) += it.value();
        if (allEnded && byPid.size() >= 2)
            break;
    }
    out << QStringLiteral("1k-line hosts, %1 names under callgrind: the helper (root) %2 "
                          "instructions a name: %3 in the process the app waits for, %4 in its "
                          "closing child (goal: at most 1500); the unprivileged lookups %5 a "
                          "name\n")
               .arg(names)
               .arg((waited + closing) / names)
               .arg(waited)
               .arg(closing)
               .arg(lookups / names);
}

} // namespace

int main(int argc, char** argv) {
    if (!BenchNamespace::enter(argc, argv, "helper_bench"))
        return 1;
    QCoreApplication app(argc, argv);
    if (argc > 1)
        runs = std::max(1, QByteArray(argv[1]).toInt());
    QTextStream out(stdout);
    const QString root = BenchNamespace::privateSystem();
    if (root.isEmpty())
        return 1;
    if (argc > 1 && QByteArray(argv[1]) == "instructions") {
        printInstructions(out, root, 100000);
        return 0;
    }

    const QString section = root + "/section";
    const QString awkOut = root + "/awk-out";
    const auto awkMs = [&](const QByteArray& hosts, int names) {
        // The section the helper writes for `names`, appended after the strip.
        put("/etc/hosts", hosts);
        timed(TARNHOLLOW_HELPER, {"block"}, requestOf(names));
        QFile written("/etc/hosts");
        written.open(QIODevice::ReadOnly);
        const QByteArray text = written.readAll();
        put(section, text.mid(text.lastIndexOf("\n\n# Tarnhollow:BEGIN") + 1));
        timed(TARNHOLLOW_HELPER, {"unblock"});
        put(root + "/in", hosts);
        return anchorMs("awk", {QString::fromLatin1(kAwk), root + "/in", section}, awkOut);
    };

    out << "runs: " << runs << ", medians in ms; /etc on tmpfs\n";
    {
        // What starting a program costs here, before it does anything.
        std::vector<double> bare, helper;
        for (int run = 0; run < runs; ++run) {
            bare.push_back(timed("/bin/true", {}));
            helper.push_back(timed(TARNHOLLOW_HELPER, {}, {}, QString(), 1));
        }
        out << QStringLiteral("process start: /bin/true %1, the helper refusing its arguments %2\n")
                   .arg(median(bare), 0, 'f', 2)
                   .arg(median(helper), 0, 'f', 2);
    }
    {
        const QByteArray hosts = hostsOf(1000);
        const double block = helperMs(hosts, "block", requestOf(10));
        out << QStringLiteral("1k-line hosts, 10 names: block %1 (goal: under 10)\n")
                   .arg(block, 0, 'f', 2);
    }
    {
        const QByteArray hosts = hostsOf(150000);
        const double block = helperMs(hosts, "block", requestOf(1000));
        const double awk = awkMs(hosts, 1000);
        out << QStringLiteral("150k-line hosts, 1000 names: block %1, awk strip+append %2, "
                              "ratio %3 (goal: at most 2)\n")
                   .arg(block, 0, 'f', 2)
                   .arg(awk, 0, 'f', 2)
                   .arg(block / awk, 0, 'f', 2);
    }
    {
        // Lines of 64 bytes, to 50 MB.
        const QByteArray hosts = hostsOf(50 * 1000 * 1000 / 64, 64);
        put(root + "/in", hosts);
        const double cat = anchorMs("cat", {root + "/in"}, QProcess::nullDevice());
        // The least a replacement by rename writes: the whole file, anew.
        const double copy = anchorMs("cp", {root + "/in", root + "/copy"}, QProcess::nullDevice());
        const double block = helperMs(hosts, "block", requestOf(1000));
        const double clear = helperMs(hosts, "unblock", requestOf(1000));
        out << QStringLiteral("50 MB hosts (%1 bytes), 1000 names: block %2, unblock %3, cat "
                              "%4; ratios %5 and %6 (goal: at most 3)\n")
                   .arg(hosts.size())
                   .arg(block, 0, 'f', 2)
                   .arg(clear, 0, 'f', 2)
                   .arg(cat, 0, 'f', 2)
                   .arg(block / cat, 0, 'f', 2)
                   .arg(clear / cat, 0, 'f', 2);
        out << QStringLiteral("50 MB hosts: cp to a new file %1, %2 times cat\n")
                   .arg(copy, 0, 'f', 2)
                   .arg(copy / cat, 0, 'f', 2);
    }
    {
        const QByteArray hosts = hostsOf(1000);
        const int saved = std::exchange(runs, 1);
        const double block = helperMs(hosts, "block", requestOf(100000));
        runs = saved;
        out << QStringLiteral("1k-line hosts, 100,000 names: block %1 (%2)\n")
                   .arg(block, 0, 'f', 2)
                   .arg(block < 0 ? "failed" : "completed");
    }
    timed(TARNHOLLOW_HELPER, {"unblock"});
    awaitBackgroundWork();
    printInstructions(out, root, 100000);
    timed(TARNHOLLOW_HELPER, {"unblock"});
    return 0;
}
