#pragma once

#include "platform/linux/workspace/LinuxWorkspace.h"

#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// CLOCK_MONOTONIC in ms, the clock the helpers stamp their reports with.
double steadyNowMs();

// One line of a helper's report: "<event> <pid> <ns>".
struct Report {
    QString event;
    qint64 pid;
    double ms; // CLOCK_MONOTONIC
};

// One helper process and its reports.
struct FakeApp {
    qint64 pid = 0;
    QString reportPath;
    std::shared_ptr<QProcess> process;

    // A child's reports included; only those of event where one is named.
    QList<Report> reports(const QString& event = {}) const;
    QStringList events() const;
    bool waitForEvent(const QString& event, int count = 1, int timeoutMs = 3000) const;
    bool isRunning() const {
        return process->state() != QProcess::NotRunning && !process->waitForFinished(0);
    }
};

// Private X display and session bus, temporary desktop entries and helper
// processes; everything started is stopped when it goes.
class WorkspaceFixture {
public:
    WorkspaceFixture();
    ~WorkspaceFixture();
    void stopApps();

    // Empty on success, else why the test must skip.
    QString startDisplay();
    QString startBus();
    // A reparenting window manager, stopped with the apps.
    QString startWindowManager();
    QString busAddress() const { return m_busAddress; }

    QString dir() const { return m_dir.path(); }
    QString entryPath(const QString& id) const;
    static QString uniqueId(const QString& tag);
    void writeApplicationEntry(const QString& id, const QString& exec,
                               const QString& extra = QString());
    // A private copy of the helper, so an entry's Exec matches only it.
    QString copyOfHelper(const QString& name);
    QString helper() const { return QStringLiteral(TARNHOLLOW_FAKE_APP); }

    // The temporary XDG folders only.
    QProcessEnvironment workspaceEnvironment() const;
    std::unique_ptr<LinuxWorkspace>
    makeWorkspace(std::chrono::milliseconds scanInterval = std::chrono::milliseconds(100)) const;

    // Starts the helper (or program, given prefix before the report option)
    // and waits for its "ready". SIGTERM stays blocked until the helper traps
    // it, so an early request is not lost.
    FakeApp start(const QStringList& args, const QProcessEnvironment& extraEnv = {},
                  const QString& program = {}, bool waitReady = true,
                  const QStringList& prefix = {});
    // Through /bin/sh, which exports GIO_LAUNCHED_DESKTOP_FILE(_PID) for its
    // own PID and execs the helper, as a launcher does; launcherScript runs
    // first, as the launcher itself.
    FakeApp startGioLaunched(const QString& id, const QStringList& args, bool waitReady = true,
                             const QString& launcherScript = QString());

private:
    QTemporaryDir m_dir;
    QString m_display;
    QString m_busAddress;
    QString m_busName;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_dbus;
    QList<std::shared_ptr<QProcess>> m_apps;
    int m_reports = 0;
};
