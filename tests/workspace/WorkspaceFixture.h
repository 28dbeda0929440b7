#pragma once

#include "platform/linux/LinuxWorkspace.h"

#include <QDBusConnection>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

// The clock the helpers stamp their reports with (CLOCK_MONOTONIC), in ms.
double steadyNowMs();

// One helper process the test started, and what it reported.
struct FakeApp {
    QString id;
    qint64 pid = 0;
    QString reportPath;
    std::shared_ptr<QProcess> process;

    // Report lines "<event> <pid> <ns>", in arrival order.
    QStringList events() const;
    // Steady-clock milliseconds at which each event named so arrived.
    QList<double> eventTimesMs(const QString& event) const;
    bool waitForEvent(const QString& event, int count = 1, int timeoutMs = 3000) const;
    bool isRunning() const;
};

// Private X display, private session bus, temporary desktop entries and
// helper processes for the workspace tests. Everything it starts is
// stopped when it goes.
class WorkspaceFixture {
public:
    WorkspaceFixture();
    ~WorkspaceFixture();
    // Kills every helper started so far.
    void stopApps();

    // Each answers an empty string on success, else why the test must skip.
    QString startDisplay();
    QString startBus();
    QDBusConnection bus() const;
    QString display() const { return m_display; }
    QString busAddress() const { return m_busAddress; }

    QString dir() const { return m_dir.path(); }
    // A desktop-entry ID no real application has.
    static QString uniqueId(const QString& tag);
    // Writes <applications>/<relative>.desktop; returns the file's path.
    QString writeEntry(const QString& relative, const QString& body);
    QString writeApplicationEntry(const QString& id, const QString& exec,
                                  const QString& extra = QString());
    // A private copy of the helper, so an entry's Exec matches only it.
    QString copyOfHelper(const QString& name);

    // What the workspace under test sees: the temporary XDG folders only.
    QProcessEnvironment workspaceEnvironment() const;
    std::unique_ptr<LinuxWorkspace>
    makeWorkspace(std::chrono::milliseconds scanInterval = std::chrono::milliseconds(100)) const;

    // Starts the helper (or program) with args and waits for its "ready".
    // SIGTERM stays blocked until the helper traps it, so an early request
    // is reported rather than lost.
    FakeApp start(const QString& id, const QStringList& args,
                  const QProcessEnvironment& extraEnv = {}, const QString& program = {},
                  bool waitReady = true);
    // Started through /bin/sh, which exports GIO_LAUNCHED_DESKTOP_FILE(_PID)
    // for its own PID and then execs the helper, as a launcher does.
    // A launcherScript runs first (say "sleep 0.3"), as the launcher itself.
    FakeApp startGioLaunched(const QString& id, const QStringList& args, bool waitReady = true,
                             const QString& launcherScript = QString());
    QString helper() const;

    // A new cgroup named like a systemd unit, in the unified hierarchy or in
    // the v1 "name=systemd" one; empty when this machine will not let us.
    QString makeUnitCgroup(bool unified, const QString& unitName);

private:
    FakeApp launch(const QString& id, const QString& program, const QStringList& prefix,
                   const QStringList& args, const QProcessEnvironment& extraEnv, bool waitReady);

    QTemporaryDir m_dir;
    QString m_display;
    QString m_busAddress;
    QString m_busName;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_dbus;
    QList<std::shared_ptr<QProcess>> m_apps;
    QStringList m_cgroups;
    int m_reports = 0;
};
