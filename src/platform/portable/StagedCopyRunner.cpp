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

StagedCopyRunner::StagedCopyRunner(QString hostsPath, QString stagingDirectory, QString afterBlock,
                                   uint userId, Clock clock)
    : m_hostsPath(std::move(hostsPath)), m_stagingDirectory(std::move(stagingDirectory)),
      m_afterBlock(std::move(afterBlock)), m_userId(userId), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

void StagedCopyRunner::block(const QStringList& hostNames, std::chrono::seconds length, Done done) {
    writeHosts(blockedText(hostNames, length), m_afterBlock, std::move(done));
}

void StagedCopyRunner::unblock(Done done) {
    const QDateTime now = m_clock();
    writeHosts(textWithout([&](const HostsText::Section& section) {
                   return HostsText::mayRemove(section, m_userId, now);
               }),
               QString(), std::move(done));
}

void StagedCopyRunner::removeUnowned(Done done) {
    writeHosts(textWithout(HostsText::namesNoOwner), QString(), std::move(done));
}

Result<QByteArray, HostBlockerError>
StagedCopyRunner::blockedText(const QStringList& hostNames, std::chrono::seconds length) const {
    // A prepared text can only count from now.
    const QDateTime now = m_clock();
    auto kept = textWithout([](const HostsText::Section&) { return true; });
    if (!kept)
        return kept;
    return kept.value() +
           HostsText::sectionText(hostNames, now, m_userId, now.addSecs(length.count()));
}

Result<QByteArray, HostBlockerError>
StagedCopyRunner::textWithout(const std::function<bool(const HostsText::Section&)>& goes) const {
    QFile file(m_hostsPath);
    if (!file.open(QIODevice::ReadOnly))
        return HostBlockerError::platform(file.errorString());
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return HostBlockerError::platform(file.errorString());
    QList<HostsText::Section> going;
    for (const HostsText::Section& section :
         HostsText::blockSections(text, HostsText::kMarkerStart, HostsText::kMarkerEnd)) {
        if (goes(section))
            going.append(section);
    }
    return HostsText::withoutSections(text, going);
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

void StagedCopyRunner::writeHosts(Result<QByteArray, HostBlockerError> text,
                                  const QString& afterCopy, Done done) {
    if (!text)
        return done(text.error());
    const QString stagingPath = stagingFilePath();
    if (stagingPath.isEmpty())
        return done(HostBlockerError::platform(
            QStringLiteral("No private temporary directory is available for the new hosts file.")));
    // The copy must never run on a staging file that is not complete.
    if (auto staged = AtomicFileWriter().write(stagingPath, text.value()); !staged)
        return done(HostBlockerError::platform(staged.error().message()));
    QString command = copyCommand(stagingPath);
    // Braced, so that only its own failure is ignored, never the copy's.
    if (!afterCopy.isEmpty())
        command += QStringLiteral(" && { ") + afterCopy + QStringLiteral("; true; }");
    runAsRoot(command, [stagingPath, done = std::move(done)](Outcome outcome) {
        // A full copy of the hosts file has no reason to stay behind.
        QFile::remove(stagingPath);
        done(std::move(outcome));
    });
}
