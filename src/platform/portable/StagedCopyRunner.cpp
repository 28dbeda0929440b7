#include "platform/portable/StagedCopyRunner.h"
#include "base/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString shellWord(const QString& path) {
    return isShellSafe(path) ? path : shellQuoted(path);
}

} // namespace

StagedCopyRunner::StagedCopyRunner(QString hostsPath, QString stagingDirectory, QString afterBlock)
    : m_hostsPath(std::move(hostsPath)), m_stagingDirectory(std::move(stagingDirectory)),
      m_afterBlock(std::move(afterBlock)) {}

void StagedCopyRunner::block(const BlockRequest& request, Done done) {
    copyIntoPlace(request.newText, m_afterBlock, std::move(done));
}

void StagedCopyRunner::unblock(const QByteArray& newText, Done done) {
    copyIntoPlace(newText, QString(), std::move(done));
}

void StagedCopyRunner::removeUnowned(const QByteArray& newText, Done done) {
    copyIntoPlace(newText, QString(), std::move(done));
}

QString StagedCopyRunner::stagingFilePath() const {
    return m_stagingDirectory.isEmpty() ? QString()
                                        : QDir(m_stagingDirectory).filePath(kStagingFileName);
}

QString StagedCopyRunner::copyCommand(const QString& stagingPath) const {
    // The copy gets its mode before the rename makes it the hosts file.
    const QFileInfo hosts(m_hostsPath);
    const QString next =
        shellWord(hosts.path() + QStringLiteral("/.") + hosts.fileName() + QStringLiteral(".new"));
    return QStringLiteral("/bin/cp ") + shellQuoted(stagingPath) + QLatin1Char(' ') + next +
           QStringLiteral(" && /bin/chmod 644 ") + next + QStringLiteral(" && /bin/mv -f ") + next +
           QLatin1Char(' ') + shellWord(m_hostsPath);
}

void StagedCopyRunner::copyIntoPlace(const QByteArray& text, const QString& afterCopy, Done done) {
    const QString stagingPath = stagingFilePath();
    if (stagingPath.isEmpty())
        return done(HostBlockerError::platform(
            QStringLiteral("No private temporary directory is available for the new hosts file.")));
    // The copy must never run on a staging file that is not complete.
    if (auto staged = AtomicFileWriter().write(stagingPath, text); !staged)
        return done(HostBlockerError::platform(staged.error().message()));
    QString command = copyCommand(stagingPath);
    // Braced, so that only its own failure is ignored, never the copy's.
    if (!afterCopy.isEmpty())
        command += QStringLiteral(" && { ") + afterCopy + QStringLiteral("; true; }");
    runShell(command, [stagingPath, done = std::move(done)](Outcome outcome) {
        // A full copy of the hosts file has no reason to stay behind.
        QFile::remove(stagingPath);
        done(std::move(outcome));
    });
}
