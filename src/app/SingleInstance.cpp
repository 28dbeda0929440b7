#include "app/SingleInstance.h"
#include "base/ApplicationId.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent),
      m_directory(directory.isEmpty()
                      ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                      : std::move(directory)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim() {
    if (m_directory.isEmpty())
        return Claim::Unavailable;
    const QDir directory(m_directory);
    m_lock = std::make_unique<QLockFile>(directory.filePath(tarnhollowApplicationId() + ".lock"));
    // Stale only when its process is gone: a crashed copy never blocks a
    // launch, a running one is never taken over however long it runs.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() != QLockFile::LockFailedError)
            return Claim::Unavailable;
        askRunningCopy();
        return Claim::AnotherCopyRuns;
    }

    // Holding the lock, any socket left here is a crashed copy's.
    const QString socketPath = directory.filePath(tarnhollowApplicationId() + ".socket");
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            socket->deleteLater();
            emit activationRequested();
        }
    });
    // Without the socket this copy still runs; later launches just exit.
    m_server->listen(socketPath);
    return Claim::Claimed;
}

// The running copy takes the lock before it listens, so it may need a
// moment; one that does not answer within two seconds is left alone, and
// this copy exits all the same.
void SingleInstance::askRunningCopy() const {
    const QString socketPath = QDir(m_directory).filePath(tarnhollowApplicationId() + ".socket");
    const QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(std::min<qint64>(250, deadline.remainingTime())))) {
            socket.disconnectFromServer();
            return;
        }
        QThread::msleep(50);
    }
}
