#pragma once

#include "platform/ObserverList.h"
#include "platform/Workspace.h"

#include <QDBusConnection>
#include <QFutureWatcher>
#include <QProcessEnvironment>

#include <chrono>
#include <memory>

class DesktopEntryIndex;
class LaunchMonitor;
class ProcScanner;
class QuitRequester;
class X11WindowDirectory;

// The user's running applications on a Linux desktop, read from /proc and
// identified by their desktop entries and X11 windows; launches noticed by
// scanning when the session bus or the X server tells of one while anyone
// listens; quit requests through the application's own channels.
class LinuxWorkspace : public Workspace {
public:
    struct Options {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QString procRoot = QStringLiteral("/proc");
        // The longest an observer waits for a launch nothing announced,
        // when nobody asks for the running applications meanwhile.
        std::chrono::milliseconds safetySweepInterval{5000};
    };

    // Reads the desktop entries from the options' environment.
    LinuxWorkspace(Options options, QDBusConnection bus);
    // With desktop entries read beforehand; null reads them here.
    LinuxWorkspace(Options options, QDBusConnection bus, std::unique_ptr<DesktopEntryIndex> index);
    ~LinuxWorkspace() override;

    QList<RunningApplication> runningApplications() override;
    bool terminate(const RunningApplication& application) override;
    ObserverToken addLaunchObserver(LaunchHandler handler) override;
    void removeLaunchObserver(ObserverToken token) override;

private:
    QList<RunningApplication> scan();
    bool scanForLaunches();
    void deliver(const QList<RunningApplication>& launched);
    void rereadEntriesIfChanged();

    std::unique_ptr<DesktopEntryIndex> m_index;
    std::unique_ptr<X11WindowDirectory> m_windows;
    std::unique_ptr<ProcScanner> m_scanner;
    std::unique_ptr<QuitRequester> m_quitRequester;
    std::unique_ptr<LaunchMonitor> m_monitor;
    // A re-read of the desktop entries in progress; gone with the workspace,
    // so a late result lands nowhere.
    std::unique_ptr<QFutureWatcher<std::unique_ptr<DesktopEntryIndex>>> m_reread;
    ObserverList<LaunchHandler> m_observers;
};
