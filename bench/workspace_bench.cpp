// Application blocking on Linux: sweep cost with 1,000 extra processes,
// launch-notice latency through AppBlocker, and the CPU the launch
// monitoring takes while nothing happens; `ps -eo pid,comm` for reference.
// The steady sweep is also set against one read of every /proc/*/stat, per
// count of sleepers when given a list ("1000,5000"); the rest runs with the
// last count. Launches are announced the ways a desktop does: with DISPLAY
// set, by the application's window; with a session bus, by a systemd unit
// (this bench plays the user manager). Then the wake-ups a second of an
// idle session against an idle window with one label, and against that
// window with an empty 2-second timer.
//   xvfb-run -a dbus-run-session -- workspace_bench [sleepers=1000[,more...]] [launches=50]
#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/workspace/LinuxWorkspace.h"
#include "platform/linux/workspace/ProcScanner.h"
#include "services/AppBlocker.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    if (values.isEmpty())
        return -1;
    const qsizetype index =
        std::min(values.size() - 1, qsizetype(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// Children die with the benchmark, however it ends.
pid_t forkChild() {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(0);
    }
    return pid;
}

pid_t startSleeper() {
    const pid_t pid = forkChild();
    if (pid == 0) {
        execl("/bin/sleep", "sleep", "3600", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The listed application: launched with its desktop file, SIGTERM held back
// until it can report the request.
pid_t startListed(const QByteArray& helper, const QByteArray& desktopFile, const QByteArray& report,
                  bool window) {
    const pid_t pid = forkChild();
    if (pid == 0) {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, nullptr);
        setenv("GIO_LAUNCHED_DESKTOP_FILE", desktopFile.constData(), 1);
        setenv("GIO_LAUNCHED_DESKTOP_FILE_PID", QByteArray::number(getpid()).constData(), 1);
        execl(helper.constData(), helper.constData(), "--report", report.constData(),
              window ? "--window" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The time the helper stamped on its report of a quit request, or -1.
double requestAt(const QString& report) {
    QFile file(report);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && (fields[0] == "sigterm" || fields[0] == "wm-delete"))
            return fields[2].toDouble() / 1e6;
    }
    return -1;
}

// The user manager as far as launches go: takes subscriptions, announces
// units.
class FakeSystemd : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        connection.send(message.createReply());
        return true;
    }
};

// Context switches of every thread of the process so far.
qint64 contextSwitches(qint64 pid) {
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            // Each wake-up ends in one voluntary switch back to sleep; the
            // involuntary ones are preemption by a busy machine.
            if (line.startsWith("voluntary_ctxt_switches"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double psMs() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("ps"), const_cast<char*>("-eo"),
                    const_cast<char*>("pid,comm"), nullptr};
    const double start = nowMs();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ps", &actions, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return nowMs() - start;
}

// One open, read and close of every /proc/[0-9]*/stat; counts the processes.
double statReadAllMs(qsizetype& processes) {
    const double start = nowMs();
    processes = 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return -1;
    char path[300];
    char buffer[4096];
    while (const dirent* item = readdir(proc)) {
        if (item->d_name[0] < '0' || item->d_name[0] > '9')
            continue;
        std::snprintf(path, sizeof path, "/proc/%s/stat", item->d_name);
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (read(fd, buffer, sizeof buffer) > 0)
            ++processes;
        close(fd);
    }
    closedir(proc);
    return nowMs() - start;
}

} // namespace

int main(int argc, char** argv) {
    QList<int> sleeperCounts;
    for (const QByteArray& count : QByteArray(argc > 1 ? argv[1] : "1000").split(','))
        sleeperCounts << std::max(0, count.toInt());
    const int sleeperCount = sleeperCounts.last();
    const int launchCount = argc > 2 ? std::atoi(argv[2]) : 50;

    QList<pid_t> children;
    for (int i = 0; i < sleeperCounts.first(); ++i)
        children << startSleeper();

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString id = QStringLiteral("org.tarnhollowbench.Listed");
    const QString entry = dir.filePath(QStringLiteral("share/applications/") + id + ".desktop");
    QDir().mkpath(QFileInfo(entry).path());
    {
        QFile file(entry);
        file.open(QIODevice::WriteOnly);
        file.write("[Desktop Entry]\nType=Application\nName=Listed\nExec=tarnhollow-bench-none\n");
    }
    LinuxWorkspace::Options options;
    options.environment.insert(QStringLiteral("XDG_DATA_HOME"),
                               dir.filePath(QStringLiteral("home")));
    options.environment.insert(QStringLiteral("XDG_DATA_DIRS"),
                               dir.filePath(QStringLiteral("share")));
    options.environment.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("bin")));
    // No session bus here; with a display (DISPLAY set), windows are read
    // too. The helper has no window, so requests go out as SIGTERM.
    const QDBusConnection noBus(QStringLiteral("tarnhollow-bench-no-bus"));

    std::unique_ptr<LinuxWorkspace> workspace;
    QList<double> steady;
    QList<double> stat;
    double firstPerProcessUs = -1;
    for (const int count : std::as_const(sleeperCounts)) {
        while (children.size() < count)
            children << startSleeper();
        // Steady state: the sleepers are past the age at which a process is
        // still watched for an exec.
        runEventsFor(2300);
        workspace = std::make_unique<LinuxWorkspace>(options, noBus);
        workspace->runningApplications();
        steady.clear();
        for (int i = 0; i < 101; ++i) {
            const double start = nowMs();
            workspace->runningApplications();
            steady << nowMs() - start;
        }
        stat.clear();
        qsizetype processes = 0;
        for (int i = 0; i < 5; ++i)
            stat << statReadAllMs(processes);
        const double sweepMs = percentile(steady, 0.5);
        const double perProcessUs = sweepMs * 1000 / double(std::max<qsizetype>(1, processes));
        if (firstPerProcessUs < 0)
            firstPerProcessUs = perProcessUs;
        std::printf("sleepers=%d processes=%lld: steady sweep median %.3f ms, p95 %.3f ms, "
                    "%.4f us/process (x%.2f of the first); /proc/*/stat read %.3f ms; "
                    "sweep/stat %.4f\n",
                    count, static_cast<long long>(processes), sweepMs, percentile(steady, 0.95),
                    perProcessUs, perProcessUs / firstPerProcessUs, percentile(stat, 0.5),
                    sweepMs / percentile(stat, 0.5));
        std::fflush(stdout);
    }

    QList<double> full;
    qsizetype applications = 0;
    for (int i = 0; i < 7; ++i) {
        LinuxWorkspace cold(options, noBus);
        const double start = nowMs();
        applications = cold.runningApplications().size();
        full << nowMs() - start;
    }
    QList<double> ps;
    for (int i = 0; i < 11; ++i)
        ps << psMs();
    std::printf("processes=%d applications=%lld\n", sleeperCount,
                static_cast<long long>(applications));
    std::printf("full sweep: median %.3f ms, max %.3f ms\n", percentile(full, 0.5),
                percentile(full, 1));
    std::printf("steady sweep: median %.3f ms, p95 %.3f ms\n", percentile(steady, 0.5),
                percentile(steady, 0.95));
    std::printf("ps -eo pid,comm: median %.3f ms\n", percentile(ps, 0.5));
    std::fflush(stdout);

    {
        // What one monitor tick costs, with and without a process created.
        DesktopEntryIndex index(options.environment);
        ProcScanner scanner(index);
        scanner.scan();
        QList<double> quiet;
        for (int i = 0; i < 200; ++i) {
            const double start = nowMs();
            scanner.scanForLaunches();
            quiet << nowMs() - start;
        }
        std::printf("monitor tick: median %.3f ms without new processes\n", percentile(quiet, 0.5));
    }

    // Monitoring alone: an observer registered, nothing launching.
    double monitorPct = 0;
    {
        const Workspace::ObserverToken token =
            workspace->addLaunchObserver([](const RunningApplication&) {});
        runEventsFor(200);
        const double cpuBefore = cpuSeconds();
        const double wallBefore = nowMs();
        runEventsFor(10000);
        monitorPct = (cpuSeconds() - cpuBefore) * 1e5 / (nowMs() - wallBefore);
        workspace->removeLaunchObserver(token);
    }
    std::printf("monitoring: %.3f %% of one core\n", monitorPct);
    std::fflush(stdout);

    // Launches announced by a window, then by a unit; the launch-notice
    // figures at the end are the last way measured.
    const bool hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    QDBusConnection manager =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench-systemd"));
    FakeSystemd systemd;
    const bool hasBus =
        manager.isConnected() &&
        manager.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), &systemd) &&
        manager.registerService(QStringLiteral("org.freedesktop.systemd1"));
    QList<double> latencies;
    int missed = 0;
    int launched = 0;
    for (const QString& way : {QStringLiteral("window"), QStringLiteral("unit")}) {
        if ((way == QLatin1String("window") && !hasDisplay) ||
            (way == QLatin1String("unit") && !hasBus)) {
            std::printf("launch notice by %s: skipped, no %s\n", qPrintable(way),
                        hasDisplay ? "session bus" : "display");
            continue;
        }
        latencies.clear();
        missed = 0;
        launched = launchCount;
        LinuxWorkspace announced(
            options, way == QLatin1String("unit") ? QDBusConnection::sessionBus() : noBus);
        AppBlocker blocker({id}, announced);
        blocker.start();
        runEventsFor(200);
        const QByteArray helper = QByteArrayLiteral(TARNHOLLOW_FAKE_APP);
        for (int i = 0; i < launchCount; ++i) {
            // Spread the launches over the blocker's sweep phase.
            runEventsFor(40 + (i * 37) % 100);
            const QString report = dir.filePath(QStringLiteral("launch-%1-%2.log").arg(way).arg(i));
            const double launchedAt = nowMs();
            const pid_t pid =
                startListed(helper, QFile::encodeName(entry), QFile::encodeName(report),
                            way == QLatin1String("window"));
            if (way == QLatin1String("unit")) {
                QDBusMessage signal = QDBusMessage::createSignal(
                    QStringLiteral("/org/freedesktop/systemd1"),
                    QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("UnitNew"));
                signal << QStringLiteral("app-bench-%1-%2.scope").arg(id).arg(pid)
                       << QVariant::fromValue(QDBusObjectPath("/org/freedesktop/systemd1/unit/b"));
                manager.send(signal);
            }
            double askedAt = -1;
            QElapsedTimer waited;
            waited.start();
            while (askedAt < 0 && waited.elapsed() < 3000) {
                runEventsFor(2);
                askedAt = requestAt(report);
            }
            if (askedAt < 0) {
                ++missed;
                kill(pid, SIGKILL);
            } else {
                latencies << askedAt - launchedAt;
            }
            waitpid(pid, nullptr, 0);
        }
        blocker.stop();
        std::printf("launch notice by %s: p50 %.1f ms, p95 %.1f ms, max %.1f ms, missed %d of %d\n",
                    qPrintable(way), percentile(latencies, 0.5), percentile(latencies, 0.95),
                    percentile(latencies, 1), missed, launchCount);
        std::fflush(stdout);
    }

    // Idle: every thread's voluntary context switches over ten seconds, after the
    // start has settled.
    double labelWakeups = -1;
    double sweepWakeups = -1;
    double sessionWakeups = -1;
#ifdef TARNHOLLOW_IDLE_SESSION
    for (const char* kind : {"label", "sweep", "session"}) {
        QProcess idle;
        idle.setProcessChannelMode(QProcess::ForwardedChannels);
        idle.start(QStringLiteral(TARNHOLLOW_IDLE_SESSION), {QString::fromLatin1(kind)});
        if (!idle.waitForStarted())
            continue;
        runEventsFor(3000);
        const qint64 before = contextSwitches(idle.processId());
        const double since = nowMs();
        runEventsFor(10000);
        const double perSecond =
            double(contextSwitches(idle.processId()) - before) * 1000 / (nowMs() - since);
        idle.kill();
        idle.waitForFinished();
        const QByteArray name(kind);
        (name == "label"   ? labelWakeups
         : name == "sweep" ? sweepWakeups
                           : sessionWakeups) = perSecond;
    }
    // The window alone never wakes, so the session is held against the
    // same window with the 2-second sweep the blocker must keep.
    const auto ratio = [](double over, double base) {
        return base > 0 ? QString::number(over / base, 'f', 2) : QStringLiteral("n/a");
    };
    std::printf("idle wake-ups: one-label window %.2f/s, with an empty 2 s timer %.2f/s, "
                "session blocking applications %.2f/s; session / window+timer %s, "
                "session / window %s\n",
                labelWakeups, sweepWakeups, sessionWakeups,
                qPrintable(ratio(sessionWakeups, sweepWakeups)),
                qPrintable(ratio(sessionWakeups, labelWakeups)));
#endif

    for (const pid_t child : std::as_const(children))
        kill(child, SIGKILL);
    for (const pid_t child : std::as_const(children))
        waitpid(child, nullptr, 0);

    std::printf("sweep_ms=%.3f stat_ms=%.3f full_ms=%.3f launch_p50_ms=%.1f launch_p95_ms=%.1f "
                "monitor_cpu_pct=%.3f ps_ms=%.3f idle_label_wakeups=%.2f "
                "idle_session_wakeups=%.2f\n",
                percentile(steady, 0.5), percentile(stat, 0.5), percentile(full, 0.5),
                percentile(latencies, 0.5), percentile(latencies, 0.95), monitorPct,
                percentile(ps, 0.5), labelWakeups, sessionWakeups);
    return missed == 0 && launched > 0 ? 0 : 1;
}
