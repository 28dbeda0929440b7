#include "FirstPaintReporter.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QWidget>

#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

FirstPaintReporter::FirstPaintReporter(QWidget* window) : QObject(window) {
    window->installEventFilter(this);
}

bool FirstPaintReporter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        // Queued, so it runs once the whole frame is painted and flushed.
        QMetaObject::invokeMethod(this, &FirstPaintReporter::report, Qt::QueuedConnection);
    }
    return false;
}

void FirstPaintReporter::report() {
    // Second field of statm: resident pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    long long residentPages = 0;
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        residentPages = fields.size() > 1 ? fields[1].toLongLong() : 0;
    }
    // Processor time too: on a busy machine it varies less than the wall clock.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("first_paint rss_kb=%lld cpu_ms=%.2f\n",
                residentPages * sysconf(_SC_PAGESIZE) / 1024, cpuMs);
    std::fflush(stdout);
    QCoreApplication::exit(0);
}
