#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QDBusObjectPath;

// Drives the scans that notice new applications while anyone listens: a
// short repeating timer, and an immediate scan whenever the systemd user
// manager reports a new application unit.
class LaunchMonitor : public QObject {
    Q_OBJECT
public:
    LaunchMonitor(QDBusConnection bus, std::chrono::milliseconds interval,
                  std::function<void()> scan, QObject* parent = nullptr);
    ~LaunchMonitor() override;

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

private slots:
    void onUnitNew(const QString& unit, const QDBusObjectPath& path);

private:
    void callManager(const QString& method);

    QDBusConnection m_bus;
    std::function<void()> m_scan;
    QTimer m_timer;
    bool m_subscribed = false;
};
