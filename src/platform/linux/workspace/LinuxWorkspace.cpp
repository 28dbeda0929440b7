#include "platform/linux/workspace/LinuxWorkspace.h"

#include "platform/linux/quit/QuitRequester.h"
#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/workspace/LaunchMonitor.h"
#include "platform/linux/workspace/ProcScanner.h"
#include "platform/linux/x11/X11WindowDirectory.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

LinuxWorkspace::LinuxWorkspace(Options options, QDBusConnection bus)
    : LinuxWorkspace(std::move(options), std::move(bus), nullptr) {}

LinuxWorkspace::LinuxWorkspace(Options options, QDBusConnection bus,
                               std::unique_ptr<DesktopEntryIndex> index)
    : m_index(index ? std::move(index) : std::make_unique<DesktopEntryIndex>(options.environment)),
      m_windows(std::make_unique<X11WindowDirectory>(
          QFile::encodeName(options.environment.value(QStringLiteral("DISPLAY"))))),
      m_scanner(std::make_unique<ProcScanner>(*m_index, m_windows.get(), options.procRoot)),
      m_quitRequester(std::make_unique<QuitRequester>(bus, *m_windows)),
      m_monitor(std::make_unique<LaunchMonitor>(bus, m_windows.get(), options.safetySweepInterval,
                                                [this] { return scanForLaunches(); })) {}

LinuxWorkspace::~LinuxWorkspace() = default;

QList<RunningApplication> LinuxWorkspace::scan() {
    rereadEntriesIfChanged();
    const QList<RunningApplication> launched = m_scanner->scan();
    m_monitor->scanned();
    return launched;
}

// Hundreds of files: read on the thread pool, while the entries known so far
// go on serving the sweeps.
void LinuxWorkspace::rereadEntriesIfChanged() {
    if (m_reread || !m_index->hasChanged())
        return;
    using Watcher = QFutureWatcher<std::unique_ptr<DesktopEntryIndex>>;
    m_reread = std::make_unique<Watcher>();
    QObject::connect(m_reread.get(), &Watcher::finished, m_reread.get(), [this] {
        *m_index = std::move(*m_reread->future().takeResult());
        m_scanner->forgetIdentities();
        // Not deleted from inside its own signal.
        m_reread.release()->deleteLater();
    });
    m_reread->setFuture(QtConcurrent::run(m_index->rereading()));
}

QList<RunningApplication> LinuxWorkspace::runningApplications() {
    const QList<RunningApplication> launched = scan();
    // Launches this scan happened to find first still reach the observers,
    // from the event loop rather than from inside the caller's sweep.
    if (!launched.isEmpty() && !m_observers.isEmpty()) {
        QMetaObject::invokeMethod(
            m_monitor.get(), [this, launched] { deliver(launched); }, Qt::QueuedConnection);
    }
    return m_scanner->applications();
}

// Desktop entries are re-read by sweeps only; launches need just the
// process table.
bool LinuxWorkspace::scanForLaunches() {
    deliver(m_scanner->scanForLaunches());
    return m_scanner->hasYoungProcesses();
}

void LinuxWorkspace::deliver(const QList<RunningApplication>& launched) {
    for (const RunningApplication& application : launched)
        m_observers.notify(application);
}

bool LinuxWorkspace::terminate(const RunningApplication& application) {
    if (!application.identifier || !m_scanner->isCurrent(application))
        return false;
    const QList<qint64> processes = m_scanner->processesOf(application);
    return m_quitRequester->requestQuit(
        *application.identifier, application.pid, processes,
        [this, application] { return m_scanner->isCurrent(application); });
}

Workspace::ObserverToken LinuxWorkspace::addLaunchObserver(LaunchHandler handler) {
    if (m_observers.isEmpty()) {
        // What runs now is not a launch: take stock before listening.
        scan();
        m_monitor->start();
    }
    return m_observers.add(std::move(handler));
}

void LinuxWorkspace::removeLaunchObserver(ObserverToken token) {
    if (m_observers.remove(token) && m_observers.isEmpty())
        m_monitor->stop();
}
