// Start-up of the application against an empty Qt Widgets window: time from
// process start to the first painted frame, and resident memory then. All
// run offscreen, in turn, with their data in a temporary directory. Then the
// application again with saved lists of three entries, of 1,000 websites and
// 200 applications, and of 20,000 websites.
//
//   startup_bench [runs]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Sample {
    double milliseconds;
    double rssMegabytes;
    double cpuMilliseconds;
};

double field(const QByteArray& line, const char* name) {
    const QByteArray key = QByteArray(name) + '=';
    const qsizetype at = line.indexOf(key);
    if (at < 0) {
        return -1;
    }
    const qsizetype end = line.indexOf(' ', at);
    return line.mid(at + key.size(), end < 0 ? -1 : end - at - key.size()).trimmed().toDouble();
}

std::optional<Sample> runOnce(const QString& program, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    QByteArray line;
    // Long enough for a slow start-up to be measured rather than lost.
    while (!line.contains('\n') && process.waitForReadyRead(300000)) {
        line += process.readAll();
    }
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    process.waitForFinished(10000);
    const double rssKb = field(line, "rss_kb");
    if (rssKb < 0) {
        return std::nullopt;
    }
    return Sample{elapsed, rssKb / 1024.0, field(line, "cpu_ms")};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Saved lists as the store writes them.
bool writeLists(const QString& dataHome, int websites, int applications) {
    QJsonArray sites;
    for (int i = 0; i < websites; ++i)
        sites.append(QStringLiteral("site%1.example.com").arg(i));
    QJsonArray apps;
    for (int i = 0; i < applications; ++i)
        apps.append(QStringLiteral("org.example.App%1").arg(i));
    const QJsonObject lists{{QStringLiteral("websites"), sites},
                            {QStringLiteral("appBundleIds"), apps}};
    const QString folder = QDir(dataHome).filePath(QStringLiteral("Tarnhollow"));
    QSaveFile file(QDir(folder).filePath(QStringLiteral("focus-config.json")));
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) &&
           file.write(QJsonDocument(lists).toJson(QJsonDocument::Compact)) > 0 && file.commit();
}

struct ListRun {
    const char* name;
    int websites;
    int applications;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    QTemporaryDir scratch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path());
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    const QString app = QStringLiteral(TARNHOLLOW_STARTUP_APP);
    const QString baseline = QStringLiteral(TARNHOLLOW_STARTUP_BASELINE);
    const QString textBaseline = QStringLiteral(TARNHOLLOW_STARTUP_TEXT_BASELINE);
    // One unmeasured run each, so all start with warm caches.
    for (const QString& program : {app, baseline, textBaseline}) {
        runOnce(program, environment);
    }

    std::vector<double> appMs, appRss, appCpu, baseMs, baseRss, baseCpu, textMs, textRss;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Sample> a = runOnce(app, environment);
        const std::optional<Sample> b = runOnce(baseline, environment);
        const std::optional<Sample> t = runOnce(textBaseline, environment);
        if (!a || !b || !t) {
            std::fprintf(stderr, "run %d: no first frame reported\n", i + 1);
            return 1;
        }
        std::printf("run %2d: app %.1f ms %.1f MB, baseline %.1f ms %.1f MB, "
                    "text baseline %.1f ms %.1f MB\n",
                    i + 1, a->milliseconds, a->rssMegabytes, b->milliseconds, b->rssMegabytes,
                    t->milliseconds, t->rssMegabytes);
        appMs.push_back(a->milliseconds);
        appRss.push_back(a->rssMegabytes);
        appCpu.push_back(a->cpuMilliseconds);
        baseMs.push_back(b->milliseconds);
        baseRss.push_back(b->rssMegabytes);
        baseCpu.push_back(b->cpuMilliseconds);
        textMs.push_back(t->milliseconds);
        textRss.push_back(t->rssMegabytes);
    }
    const double startup = median(appMs);
    const double base = median(baseMs);
    const double rss = median(appRss);
    const double baseRssMedian = median(baseRss);
    // For reference: a window with one line of text, which loads fonts too.
    const double text = median(textMs);
    std::printf("text_baseline_ms=%.1f text_baseline_rss_mb=%.1f ratio_to_text=%.2f\n", text,
                median(textRss), startup / text);
    std::printf("cpu_ms=%.1f baseline_cpu_ms=%.1f cpu_ratio=%.2f rss_ratio=%.2f\n", median(appCpu),
                median(baseCpu), median(appCpu) / median(baseCpu), rss / baseRssMedian);
    std::printf("startup_ms=%.1f baseline_ms=%.1f ratio=%.2f rss_mb=%.1f baseline_rss_mb=%.1f\n",
                startup, base, startup / base, rss, baseRssMedian);

    // The same application with saved lists, against the one with three.
    const QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    double threeMs = 0;
    double threeRss = 0;
    for (const ListRun& list : {ListRun{"three_entries", 2, 1}, ListRun{"lists_1200", 1000, 200},
                                ListRun{"websites_20000", 20000, 0}}) {
        if (!writeLists(dataHome, list.websites, list.applications)) {
            std::fprintf(stderr, "%s: cannot write the lists\n", list.name);
            return 1;
        }
        std::vector<double> ms, mb;
        for (int i = 0; i < runs; ++i) {
            const std::optional<Sample> sample = runOnce(app, environment);
            if (!sample) {
                std::fprintf(stderr, "%s run %d: no first frame reported\n", list.name, i + 1);
                return 1;
            }
            ms.push_back(sample->milliseconds);
            mb.push_back(sample->rssMegabytes);
        }
        if (threeMs == 0) {
            threeMs = median(ms);
            threeRss = median(mb);
        }
        std::printf("%s_ms=%.1f %s_rss_mb=%.1f ratio_to_three=%.2f rss_ratio_to_three=%.2f\n",
                    list.name, median(ms), list.name, median(mb), median(ms) / threeMs,
                    median(mb) / threeRss);
    }
    return 0;
}
