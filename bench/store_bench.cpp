// A save of the block lists at 100,000 websites, against a plain write,
// fsync and rename of the same bytes in the same folder (on the build's
// disk, not tmpfs). Prints medians and their ratio.
//   store_bench [entries=100000] [runs=15]
#include "services/FocusStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What any program's careful save does, and nothing more.
bool plainSave(const QByteArray& path, const QByteArray& bytes) {
    const QByteArray temporary = path + ".plain";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written && ::rename(temporary.constData(), path.constData()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 100000;
    const int runs = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 15;
    QDir().mkpath(QStringLiteral("store_bench.tmp"));
    const QString path = QDir(QStringLiteral("store_bench.tmp")).absoluteFilePath("config.json");

    FocusConfiguration lists;
    for (int i = 0; i < entries; ++i)
        lists.websites << QStringLiteral("https://site%1.example.org/").arg(i);
    for (int i = 0; i < 50; ++i)
        lists.appBundleIds << QStringLiteral("org.example.App%1.desktop").arg(i);

    FocusStore store(path);
    std::vector<double> saves, plain, encodes;
    const QByteArray bytes = FocusStore::encode(lists);
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!store.save(lists)) {
            std::fprintf(stderr, "store_bench: the save failed\n");
            return 1;
        }
        saves.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        const QByteArray encoded = FocusStore::encode(lists);
        encodes.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        if (!plainSave(QFile::encodeName(path), encoded)) {
            std::fprintf(stderr, "store_bench: the plain write failed\n");
            return 1;
        }
        plain.push_back(timer.nsecsElapsed() / 1e6);
    }
    QDir(QStringLiteral("store_bench.tmp")).removeRecursively();
    QTextStream(stdout) << QStringLiteral("%1 websites (%2 bytes), %3 runs, medians in ms: save "
                                          "%4 (of which encoding %5), plain write+fsync+rename "
                                          "%6; ratio %7 (goal: at most 3)\n")
                               .arg(entries)
                               .arg(bytes.size())
                               .arg(runs)
                               .arg(median(saves), 0, 'f', 2)
                               .arg(median(encodes), 0, 'f', 2)
                               .arg(median(plain), 0, 'f', 2)
                               .arg(median(saves) / median(plain), 0, 'f', 2);
    return 0;
}
