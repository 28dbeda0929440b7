#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLockFile;
class QSocketNotifier;

// Decides which process is the user's one running copy: whoever holds the
// lock file in the runtime directory. A later launch asks that copy, through
// a named pipe beside the lock, to show its window. A pipe rather than a
// local socket: the network module would load nine more libraries, Kerberos
// among them, before the first frame.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        // This process is the one copy and listens for later launches.
        Claimed,
        // Another copy holds the lock; it has been asked to show itself.
        AnotherCopyRuns,
        // No lock could be taken or checked: run without one.
        Unavailable,
    };

    // An empty directory means the user's runtime directory.
    explicit SingleInstance(QString directory = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();

signals:
    // A later launch asked this copy to show its window.
    void activationRequested();

private:
    void askRunningCopy() const;
    void listen(const QString& path);
    void readKnocks();

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QByteArray m_pipePath;
    int m_pipe = -1;
    QSocketNotifier* m_knocks = nullptr;
};
