#include "platform/StagedCopyRunner.h"
#include "hosts/AtomicFileWriter.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

const QString kStagingFileName = QStringLiteral("tarnhollow-hosts");

bool isShellSafe(const QString& path) {
    if (path.isEmpty())
        return false;
    return std::all_of(path.cbegin(), path.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
               QStringView(u"/._-+,:@%=").contains(c);
    });
}

QString shellQuoted(QString text) {
    text.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

StagedCopyRunner::StagedCopyRunner(QString hostsPath, QString stagingDirectory)
    : m_hostsPath(std::move(hostsPath)), m_stagingDirectory(std::move(stagingDirectory)) {}

void StagedCopyRunner::block(const BlockRequest& request, Done done) {
    copyIntoPlace(request.newText, std::move(done));
}

void StagedCopyRunner::unblock(const QByteArray& newText, Done done) {
    copyIntoPlace(newText, std::move(done));
}

QString StagedCopyRunner::stagingFilePath() const {
    return m_stagingDirectory.isEmpty() ? QString()
                                        : QDir(m_stagingDirectory).filePath(kStagingFileName);
}

QString StagedCopyRunner::copyCommand(const QString& stagingPath) const {
    const QString destination = isShellSafe(m_hostsPath) ? m_hostsPath : shellQuoted(m_hostsPath);
    return QStringLiteral("/bin/cp ") + shellQuoted(stagingPath) + QLatin1Char(' ') + destination +
           QStringLiteral(" && /bin/chmod 644 ") + destination;
}

void StagedCopyRunner::copyIntoPlace(const QByteArray& text, Done done) {
    const QString stagingPath = stagingFilePath();
    if (stagingPath.isEmpty())
        return done(HostBlockerError::platform(
            QStringLiteral("No private temporary directory is available for the new hosts file.")));
    // The copy must never run on a staging file that is not complete.
    if (auto staged = AtomicFileWriter().write(stagingPath, text); !staged)
        return done(HostBlockerError::platform(staged.error().message()));
    runShell(copyCommand(stagingPath), [stagingPath, done = std::move(done)](Outcome outcome) {
        // A full copy of the hosts file has no reason to stay behind.
        QFile::remove(stagingPath);
        done(std::move(outcome));
    });
}
