#include "app/SingleInstance.h"
#include "base/ApplicationId.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString pipePath(const QString& directory) {
    return QDir(directory).filePath(tarnhollowApplicationId() + ".pipe");
}
} // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent),
      m_directory(directory.isEmpty()
                      ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                      : std::move(directory)) {}

SingleInstance::~SingleInstance() {
    if (m_pipe < 0)
        return;
    delete m_knocks;
    ::close(m_pipe);
    ::unlink(m_pipePath.constData());
}

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

    // Without the pipe this copy still runs; later launches just exit.
    listen(pipePath(m_directory));
    return Claim::Claimed;
}

// Holding the lock, any pipe left here is a crashed copy's. Opened for
// writing too, the pipe never reads as closed between two launches.
void SingleInstance::listen(const QString& path) {
    m_pipePath = QFile::encodeName(path);
    ::unlink(m_pipePath.constData());
    if (::mkfifo(m_pipePath.constData(), 0600) != 0)
        return;
    m_pipe = ::open(m_pipePath.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_pipe < 0)
        return;
    m_knocks = new QSocketNotifier(m_pipe, QSocketNotifier::Read, this);
    connect(m_knocks, &QSocketNotifier::activated, this, &SingleInstance::readKnocks);
}

// Launches close together show the window once.
void SingleInstance::readKnocks() {
    char buffer[64];
    bool knocked = false;
    while (::read(m_pipe, buffer, sizeof buffer) > 0)
        knocked = true;
    if (knocked)
        emit activationRequested();
}

// The running copy takes the lock before it listens, so it may need a
// moment; one that does not answer within two seconds is left alone, and
// this copy exits all the same.
void SingleInstance::askRunningCopy() const {
    const QByteArray path = QFile::encodeName(pipePath(m_directory));
    const QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        // Fails while nobody reads the pipe.
        const int pipe = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (pipe >= 0) {
            const bool knocked = ::write(pipe, "\n", 1) == 1;
            ::close(pipe);
            if (knocked)
                return;
        }
        QThread::msleep(50);
    }
}
