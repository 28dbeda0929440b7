// Times building a new hosts text as the copying runner does (read, strip
// the old section, build the new one, join) on a large hosts file, against an
// awk strip-and-append of the same file. Prints the medians; the last line is
// machine-readable.
#include "platform/portable/StagedCopyRunner.h"
#include "services/HostBlocker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kHostsLines = 150000;
constexpr int kEntries = 1000;
constexpr int kRuns = 30;

// Building the text never runs anything.
class NoShell : public StagedCopyRunner {
public:
    using StagedCopyRunner::StagedCopyRunner;

protected:
    void runAsRoot(const QString&, Done) override {}
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QByteArray generatedHosts() {
    QByteArray text;
    text.reserve(kHostsLines * 24);
    text += "127.0.0.1 localhost\n::1 localhost ip6-localhost ip6-loopback\n";
    char line[64];
    for (int i = 0; i < kHostsLines - 2 - kEntries - 4; ++i) {
        const int n = std::snprintf(line, sizeof line, "0.0.0.0 name%06d.tld\n", i);
        text.append(line, n);
    }
    // The section an earlier session left behind.
    text += "\n# Tarnhollow:BEGIN\n# Added by Tarnhollow on 2026-12-06 01:08:26 +0000\n";
    for (int i = 0; i < kEntries; ++i) {
        const int n = std::snprintf(line, sizeof line, "127.0.0.1 old%04d.test\n", i);
        text.append(line, n);
    }
    text += "# Tarnhollow:END";
    return text;
}

QStringList entries() {
    QStringList list;
    for (int i = 0; i < kEntries; ++i)
        list << QStringLiteral("https://Site%1.test/path?q=%1").arg(i);
    return list;
}

const char* const kAwk = "FILENAME == ARGV[1] {"
                         "  t = $0; gsub(/^[ \\t\\r]+|[ \\t\\r]+$/, \"\", t);"
                         "  if (t == \"# Tarnhollow:BEGIN\") { inside = 1; next }"
                         "  if (t == \"# Tarnhollow:END\") { inside = 0; next }"
                         "  if (!inside) print; next"
                         "}"
                         "{ print }";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString hostsPath = dir.filePath(QStringLiteral("hosts"));
    const QByteArray hosts = generatedHosts();
    {
        QFile file(hostsPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(hosts) != hosts.size())
            return 1;
    }
    out << "hosts file: " << hosts.count('\n') + 1 << " lines, " << hosts.size() << " bytes; "
        << kEntries << " entries; " << kRuns << " runs\n";

    const NoShell runner(hostsPath, dir.path());
    const QStringList list = entries();
    const std::chrono::seconds length(25 * 60);

    std::vector<double> ours;
    qsizetype ourSize = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto text = runner.blockedText(HostBlocker::hostNames(list), length);
        ours.push_back(timer.nsecsElapsed() / 1e6);
        if (!text.ok())
            return 1;
        ourSize = text.value().size();
    }

    // The reference: strip with awk, append the same section.
    const QString sectionPath = dir.filePath(QStringLiteral("section"));
    {
        const auto text = runner.blockedText(HostBlocker::hostNames(list), length);
        QFile file(sectionPath);
        const qsizetype begin = text.value().lastIndexOf("\n\n# Tarnhollow:BEGIN");
        if (!file.open(QIODevice::WriteOnly) || begin < 0)
            return 1;
        file.write(text.value().mid(begin + 1));
    }
    std::vector<double> awk;
    qsizetype awkSize = 0;
    for (int run = 0; run < kRuns; ++run) {
        QProcess process;
        process.setStandardOutputFile(dir.filePath(QStringLiteral("awk-out")));
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral("awk"), {QString::fromLatin1(kAwk), hostsPath, sectionPath});
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            return 1;
        awk.push_back(timer.nsecsElapsed() / 1e6);
        awkSize = QFileInfo(dir.filePath(QStringLiteral("awk-out"))).size();
    }

    const double oursMs = median(ours);
    const double awkMs = median(awk);
    out << "our text: " << ourSize << " bytes; awk output: " << awkSize << " bytes\n";
    out << QStringLiteral("hosts_rebuild_ms=%1 awk_ms=%2 ratio=%3\n")
               .arg(oursMs, 0, 'f', 2)
               .arg(awkMs, 0, 'f', 2)
               .arg(oursMs / awkMs, 0, 'f', 3);
    return 0;
}
