#include "services/HostBlocker.h"
#include "base/AtomicFileWriter.h"
#include "platform/DnsCacheFlusher.h"
#include "platform/PlatformDefaults.h"
#include "platform/PrivilegedRunner.h"
#include "services/HostsText.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace {

const QString kStagingFileName = QStringLiteral("tarnhollow-hosts");

// Strict UTF-8, or nothing.
std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    if (!bytes.isValidUtf8())
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

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

HostBlocker::HostBlocker(Options options, std::unique_ptr<PrivilegedRunner> runner,
                         std::unique_ptr<DnsCacheFlusher> flusher)
    : hostsPath(options.hostsPath), m_temporaryDirectory(options.temporaryDirectory),
      m_clock(options.clock), m_runner(std::move(runner)), m_flusher(std::move(flusher)) {
    if (!m_runner)
        m_runner = makeDefaultPrivilegedRunner();
    if (!m_flusher)
        m_flusher = makeDefaultDnsCacheFlusher();
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

HostBlocker::~HostBlocker() = default;

HostBlocker::VoidResult HostBlocker::apply(const QStringList& domainList) {
    auto text = buildAppliedText(domainList);
    if (!text)
        return text.error();
    if (auto written = writeHosts(text.value()); !written)
        return written;
    // Best effort: the hosts file is already written.
    m_flusher->flush(*m_runner);
    return VoidResult::success();
}

HostBlocker::VoidResult HostBlocker::clear() {
    auto text = buildClearedText();
    if (!text)
        return text.error();
    return writeHosts(text.value());
}

Result<QByteArray, BlockError> HostBlocker::buildAppliedText(const QStringList& domainList) const {
    QStringList names;
    names.reserve(domainList.size());
    for (const QString& entry : domainList) {
        if (auto name = HostsText::normalizeDomain(entry))
            names.append(*name);
    }

    auto text = readText();
    if (!text)
        return text.error();
    QByteArray kept = HostsText::stripExistingBlockSection(
        std::move(text.value()), markerStart.toUtf8(), markerEnd.toUtf8());
    const QStringList section =
        HostsText::blockSection(std::move(names), m_clock(), markerStart, markerEnd);
    return HostsText::joined(std::move(kept), section);
}

Result<QByteArray, BlockError> HostBlocker::buildClearedText() const {
    auto text = readText();
    if (!text)
        return text.error();
    return HostsText::joined(HostsText::stripExistingBlockSection(
        std::move(text.value()), markerStart.toUtf8(), markerEnd.toUtf8()));
}

QString HostBlocker::temporaryFilePath() const {
    const QString directory =
        m_temporaryDirectory.isEmpty() ? defaultHostsStagingDirectory() : m_temporaryDirectory;
    if (directory.isEmpty())
        return QString();
    return QDir(directory).filePath(kStagingFileName);
}

Result<QByteArray, BlockError> HostBlocker::readText() const {
    QFile file(hostsPath);
    if (!file.open(QIODevice::ReadOnly))
        return PlatformError{file.errorString()};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return PlatformError{file.errorString()};
    if (!bytes.isValidUtf8())
        return PlatformError{
            QStringLiteral("The file %1 could not be read because it is not valid UTF-8 text.")
                .arg(hostsPath)};
    return bytes;
}

QString HostBlocker::copyCommand(const QString& stagingPath) const {
    const QString destination = isShellSafe(hostsPath) ? hostsPath : shellQuoted(hostsPath);
    return QStringLiteral("/bin/cp ") + shellQuoted(stagingPath) + QLatin1Char(' ') + destination +
           QStringLiteral(" && /bin/chmod 644 ") + destination;
}

HostBlocker::VoidResult HostBlocker::writeHosts(const QByteArray& utf8Text) {
    const QString stagingPath = temporaryFilePath();
    if (stagingPath.isEmpty())
        return PlatformError{
            QStringLiteral("No private temporary directory is available for the new hosts file.")};

    // The copy must never run on a staging file that is not complete.
    if (auto staged = AtomicFileWriter().write(stagingPath, utf8Text); !staged)
        return PlatformError{staged.error().message()};
    VoidResult copied = runAsRoot(copyCommand(stagingPath));
    // A full copy of the hosts file has no reason to stay behind.
    QFile::remove(stagingPath);
    return copied;
}

HostBlocker::VoidResult HostBlocker::runAsRoot(const QString& command) {
    auto outcome = m_runner->run(command);
    if (!outcome)
        return outcome.error();
    if (outcome.value().exitStatus == 0)
        return VoidResult::success();
    if (outcome.value().authorizationRefused)
        return HostBlockerError::notAuthorized();
    return HostBlockerError::commandFailed(decodeUtf8(outcome.value().output).value_or(QString()));
}
