// Importing files into an empty website list, in the window: milliseconds
// from the Import call until the window has painted the entries, the
// longest the window's thread went without handling events meanwhile, and
// the process's peak resident memory during the import. Files: a published
// list of 100,000 names, a 1,000,000-line hosts file (stopped at the block
// limit) and a 100 MB file of one line. Runs offscreen on temporary files.
//   QT_QPA_PLATFORM=offscreen import_bench [runs=3]
#include "ScratchController.h"
#include "fakes/FakeInstalledApplications.h"
#include "services/FocusSessionManager.h"
#include "ui/ContentView.h"
#include "ui/FormCard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Resident peak since the last reset, in MB.
double peakMB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

void resetPeak() {
    QFile clear("/proc/self/clear_refs");
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeFile(const QString& path, const char* kind) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray which(kind);
    if (which == "line") {
        const QByteArray chunk = QByteArray(1 << 20, 'a');
        file.write("0.0.0.0 ");
        for (int i = 0; i < 100; ++i)
            file.write(chunk);
        return true;
    }
    const int lines = which == "list" ? 100000 : 1000000;
    file.write("# A published list\n127.0.0.1 localhost\n0.0.0.0 0.0.0.0\n");
    for (int i = 0; i < lines; ++i)
        file.write("0.0.0.0 ads" + QByteArray::number(i) + ".example.com\n");
    return true;
}

struct Figures {
    double ms = 0;
    double stallMs = 0;
    double peak = 0;
};

Figures importOnce(const char* kind) {
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("list.hosts"));
    if (!writeFile(path, kind))
        return {};
    std::unique_ptr<FocusSessionManager> manager = scratchController(scratch);
    FocusSessionManager* controller = manager.get();
    ContentView view(std::move(manager), std::make_unique<FakeInstalledApplications>());
    view.show();
    QCoreApplication::processEvents();

    // The window's thread: how long it went without a turn of its loop.
    QElapsedTimer sinceTurn;
    double stall = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        stall = std::max(stall, sinceTurn.nsecsElapsed() / 1e6);
        sinceTurn.restart();
    });
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    sinceTurn.start();
    beat.start();
    controller->importWebsites(path);
    while (controller->isImporting())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    view.repaint();
    QCoreApplication::processEvents();
    beat.stop();
    Figures figures{timer.nsecsElapsed() / 1e6, stall, peakMB()};
    std::printf("  %s: %lld entries shown, status \"%s\", %.1f ms\n", kind,
                static_cast<long long>(view.websitesCard()->entries()->rowCount()),
                qPrintable(controller->statusMessage()), figures.ms);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    for (const char* kind : {"list", "hosts", "line"}) {
        std::vector<Figures> all;
        for (int run = 0; run < runs; ++run)
            all.push_back(importOnce(kind));
        std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.ms < b.ms; });
        const Figures& median = all[all.size() / 2];
        double stall = 0, peak = 0;
        for (const Figures& one : all) {
            stall = std::max(stall, one.stallMs);
            peak = std::max(peak, one.peak);
        }
        std::printf("%s: median %.1f ms to painted entries; window thread's longest stall "
                    "%.1f ms; peak resident %.1f MB\n",
                    kind, median.ms, stall, peak);
    }
    std::printf("list: 100,000 names (goal: under 1000 ms); hosts: 1,000,000 lines; line: one "
                "line of 100 MB\n");
    return 0;
}
