#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QDBusObjectPath;
class QSocketNotifier;
class X11WindowDirectory;

// Drives the scans that notice new applications while anyone listens, from
// events alone: the systemd user manager announcing an application unit,
// and the X server telling of a new window. After a unit appears, the
// processes still on their way to the program they start are looked at
// again a few times. Should nothing announce a launch, a slow sweep still
// finds it; any scan, a sweep's too, postpones that sweep.
class LaunchMonitor : public QObject {
    Q_OBJECT
public:
    // scan looks for launches and returns whether some new process may still
    // turn into an application. windows may be null.
    LaunchMonitor(QDBusConnection bus, X11WindowDirectory* windows,
                  std::chrono::milliseconds quietInterval, std::function<bool()> scan,
                  QObject* parent = nullptr);
    ~LaunchMonitor() override;

    void start();
    void stop();
    bool isRunning() const { return m_running; }
    // To be told after every scan of the process table, whoever asked for it.
    void scanned();

private slots:
    void onUnitNew(const QString& unit, const QDBusObjectPath& path);
    void onJobRemoved(uint id, const QDBusObjectPath& job, const QString& unit,
                      const QString& result);

private:
    void callManager(const QString& method);
    void subscribe(bool on);
    void unitAppeared(const QString& unit);
    void runScan();
    void followDisplay();

    QDBusConnection m_bus;
    X11WindowDirectory* m_windows;
    std::function<bool()> m_scan;
    bool m_running = false;
    bool m_subscribed = false;
    bool m_settling = false;
    QTimer m_quietSweep;
    QTimer m_followUp;
    std::chrono::steady_clock::time_point m_followUntil;
    std::unique_ptr<QSocketNotifier> m_display;
};
