#include "services/HostBlocker.h"
#include "hosts/HostsText.h"
#include "platform/DnsCacheFlusher.h"
#include "platform/PrivilegedRunner.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace {

// Strict UTF-8, or nothing.
std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    if (!bytes.isValidUtf8())
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

// Lines that start with "notice: " are notices, the others notes.
HostBlockerNotes notesOf(const QString& output) {
    static const QString kPrefix = QStringLiteral("notice: ");
    HostBlockerNotes said;
    QStringList notes;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(kPrefix))
            notes.append(line);
        else if (const QString notice = line.mid(kPrefix.size()).trimmed(); !notice.isEmpty())
            said.notices.append(notice);
    }
    said.notes = notes.join(QLatin1Char('\n')).trimmed();
    return said;
}

} // namespace

HostBlocker::HostBlocker(Options options, std::unique_ptr<PrivilegedRunner> runner,
                         std::unique_ptr<DnsCacheFlusher> flusher)
    : hostsPath(options.hostsPath), m_clock(options.clock), m_userId(options.userId),
      m_runner(std::move(runner)), m_flusher(std::move(flusher)) {
    Q_ASSERT(m_runner && m_flusher);
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

HostBlocker::~HostBlocker() = default;

QStringList HostBlocker::hostNames(const QStringList& domainList) {
    QStringList names;
    names.reserve(domainList.size());
    for (const QString& entry : domainList) {
        if (auto name = HostsText::normalizeDomain(entry))
            names.append(*name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void HostBlocker::apply(const QStringList& domainList, std::chrono::seconds length, Done done) {
    m_runner->block(hostNames(domainList), length,
                    [this, done = std::move(done)](PrivilegedRunner::Outcome outcome) {
                        RunResult result = toResult(outcome, true);
                        // Best effort: the hosts file is already written.
                        if (result)
                            m_flusher->flush();
                        done(std::move(result));
                    });
}

Result<bool, HostBlockerError>
HostBlocker::holdsSection(const std::function<bool(const HostsText::Section&)>& wanted) const {
    auto text = readText();
    if (!text)
        return text.error();
    const auto sections =
        HostsText::blockSections(text.value(), HostsText::kMarkerStart, HostsText::kMarkerEnd);
    return std::any_of(sections.cbegin(), sections.cend(), wanted);
}

void HostBlocker::clear(Done done) {
    // Which sections go is the privileged side's business; only whether
    // there is one to ask about is decided here, by the same rule.
    const QDateTime now = m_clock();
    const auto ours = holdsSection([&](const HostsText::Section& section) {
        return HostsText::mayRemove(section, m_userId, now);
    });
    if (!ours)
        return done(ours.error());
    if (!ours.value())
        return done(HostBlockerNotes{});
    m_runner->unblock([this, done = std::move(done)](PrivilegedRunner::Outcome outcome) {
        done(toResult(outcome));
    });
}

void HostBlocker::removeUnowned(Done done) {
    const auto unowned = holdsSection(HostsText::namesNoOwner);
    if (!unowned)
        return done(unowned.error());
    if (!unowned.value())
        return done(HostBlockerNotes{});
    m_runner->removeUnowned([this, done = std::move(done)](PrivilegedRunner::Outcome outcome) {
        done(toResult(outcome));
    });
}

std::optional<HostsText::SectionOwner> HostBlocker::ownSection() const {
    const auto text = readText();
    if (!text)
        return std::nullopt;
    for (const HostsText::Section& section :
         HostsText::blockSections(text.value(), HostsText::kMarkerStart, HostsText::kMarkerEnd)) {
        if (section.owner && section.owner->uid == m_userId)
            return section.owner;
    }
    return std::nullopt;
}

Result<QByteArray, HostBlockerError> HostBlocker::readText() const {
    QFile file(hostsPath);
    if (!file.open(QIODevice::ReadOnly))
        return HostBlockerError::platform(file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return HostBlockerError::platform(file.errorString());
    return bytes;
}

HostBlocker::RunResult HostBlocker::toResult(const PrivilegedRunner::Outcome& outcome,
                                             bool blocking) const {
    if (!outcome)
        return outcome.error();
    const QString output = decodeUtf8(outcome.value().output).value_or(QString());
    if (outcome.value().exitStatus == 0)
        return notesOf(output);
    if (outcome.value().authorizationRefused)
        return HostBlockerError::notAuthorized(hostsPath);
    if (blocking && outcome.value().exitStatus == kUnownedSectionStatus)
        return HostBlockerError::unownedSection(output, hostsPath);
    return HostBlockerError::commandFailed(output, hostsPath);
}
