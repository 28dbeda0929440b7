#include "services/FocusSessionManager.h"

#include "base/ListEntry.h"
#include "hosts/HostsText.h"
#include "platform/Workspace.h"
#include "services/AppBlocker.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "services/WebsiteImport.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <unistd.h>

namespace {

// How far ahead a block may end and still be taken up as a session's. The
// helper ends it at most the longest session after its write; the margin
// keeps it ours when the wall clock has since been set back a little.
constexpr qint64 kLatestSectionEndSecs = HostsText::kLongestSessionSecs + 5 * 60;

bool listsEntry(const QStringList& list, const QString& entry) {
    const QString key = listEntryKey(entry);
    return std::any_of(list.cbegin(), list.cend(),
                       [&key](const QString& existing) { return listEntryKey(existing) == key; });
}

// Every copy of the entry goes, as each is the same entry.
QStringList without(QStringList list, const QString& entry) {
    const QString key = listEntryKey(entry);
    list.removeIf([&key](const QString& existing) { return listEntryKey(existing) == key; });
    return list;
}

QString describe(const HostBlockerError& error) {
    return error.errorDescription().value_or(QStringLiteral("the hosts file could not be written"));
}

} // namespace

FocusSessionManager::FocusSessionManager(std::unique_ptr<FocusStore> store,
                                         std::unique_ptr<HostBlocker> hostBlocker,
                                         std::unique_ptr<Workspace> workspace,
                                         std::chrono::milliseconds countdownInterval,
                                         SessionOptions options, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_hostBlocker(std::move(hostBlocker)),
      m_workspace(std::move(workspace)), m_records(std::move(options.records)),
      m_sessionClock(std::move(options.sessionClock)), m_wallClock(std::move(options.wallClock)),
      m_countdownInterval(countdownInterval), m_sweepInterval(options.sweepInterval) {
    Q_ASSERT(m_store && m_hostBlocker && m_workspace && m_records && m_sessionClock && m_wallClock);
    m_countdown.setTimerType(Qt::PreciseTimer);
    m_countdown.setInterval(m_countdownInterval);
    // Each firing queues one tick; one queued by a countdown that has since
    // ended does nothing.
    connect(&m_countdown, &QTimer::timeout, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this, number = m_countdownNumber] {
                if (number == m_countdownNumber && m_countdown.isActive())
                    tick();
            },
            Qt::QueuedConnection);
    });
    // Lists come back exactly as stored; nothing is cleaned up on the way in.
    if (const std::optional<FocusConfiguration> record = m_store->load()) {
        setWebsites(record->websites);
        setAppBundleIds(record->appBundleIds);
    } else {
        setWebsites({});
        setAppBundleIds({});
    }
    setStatusMessage(QStringLiteral("Ready"));
    resumeOrCleanUp();
}

FocusSessionManager::~FocusSessionManager() = default;

// A session outlives the window that started it: one still running is taken
// up again, one that has ended (or left only its block behind) is removed.
void FocusSessionManager::resumeOrCleanUp() {
    const QDateTime now = m_wallClock();
    std::optional<SessionRecord> record = m_records->load(now);
    const auto own = m_hostBlocker->ownSection();
    const bool ownSection = own.has_value();
    // The block's end lives with the block: a lost or damaged record never
    // ends it early. The applications are the current list's.
    if (!record && own && own->until > now && now.secsTo(own->until) <= kLatestSectionEndSecs) {
        record = SessionRecord{own->until, {}, m_appBundleIds};
        (void)m_records->save(*record);
    }
    if (record && record->end > now) {
        const qint64 left = std::max<qint64>(1, now.msecsTo(record->end));
        m_sessionEnd = record->end;
        m_sessionEndOnClock = m_sessionClock() + std::chrono::milliseconds(left);
        m_sessionApps = record->appBundleIds;
        m_sessionMinutes = 0;
        setSessionActive(true);
        // At least a second, so that the next tick still ends it.
        setRemainingSeconds(std::max<qint64>(1, (left + 500) / 1000));
        if (ownSection || record->websites.isEmpty()) {
            beginSession();
            return;
        }
        // The block went missing: written again the way a start writes it,
        // for what is left of the session.
        setPendingRun(PendingRun::Block);
        const QPointer<FocusSessionManager> self(this);
        const std::chrono::seconds length((left + 999) / 1000);
        m_hostBlocker->apply(record->websites, length, [self](HostBlocker::RunResult r) {
            if (self)
                self->finishStart(std::move(r), false);
        });
        return;
    }
    if (!record && !ownSection) {
        // Unreadable, or too far ahead to be ours: no record at all.
        m_records->remove();
        return;
    }
    removeBlock(QStringLiteral("Websites from an earlier session are still blocked: "), [] {});
}

// The record goes only once the block has; a failure is said on the error
// line with `failurePrefix`, and a removal that works takes that away again.
void FocusSessionManager::removeBlock(const QString& failurePrefix,
                                      std::function<void()> beforeReport,
                                      std::function<void()> onRemoved) {
    setPendingRun(PendingRun::Removal);
    const QPointer<FocusSessionManager> self(this);
    m_hostBlocker->clear([self, failurePrefix, beforeReport = std::move(beforeReport),
                          onRemoved = std::move(onRemoved)](HostBlocker::RunResult removed) {
        if (!self)
            return;
        beforeReport();
        if (removed) {
            self->m_records->remove();
            if (!removed.value().notes.isEmpty())
                self->setErrorMessage(removed.value().notes);
            else if (self->m_removalErrorShown)
                self->setErrorMessage(std::nullopt);
        } else if (!failurePrefix.isEmpty()) {
            self->setErrorMessage(failurePrefix + describe(removed.error()));
            self->m_removalErrorShown = true;
        }
        self->setPendingRun(PendingRun::None);
        // Last: whoever hears of it sees the state complete.
        if (removed && onRemoved)
            onRemoved();
    });
}

void FocusSessionManager::start(int minutes) {
    // A click while the system asks for the password starts nothing.
    if (isBusy() || minutes < 1)
        return;
    if (m_websites.isEmpty() && m_appBundleIds.isEmpty()) {
        setStatusMessage(QStringLiteral("Add at least one website or app to block first."));
        return;
    }
    // Starting over a running session replaces it: never two countdowns or
    // two application blockers.
    const bool replacing = m_isSessionActive;
    releaseSessionResources();

    setErrorMessage(std::nullopt);
    setNotice(QString());
    setSessionActive(true);
    setRemainingSeconds(qint64(minutes) * 60);

    const std::chrono::seconds length = std::chrono::minutes(minutes);
    m_sessionApps = m_appBundleIds;
    setPendingRun(PendingRun::Block);
    const QPointer<FocusSessionManager> self(this);
    auto written = [self, length, websites = m_websites, apps = m_appBundleIds,
                    replacing](HostBlocker::RunResult result) {
        if (!self)
            return;
        if (result) {
            // A block in place means no old one stands in the way any more.
            if (!websites.isEmpty())
                self->setUnownedBlockMessage(QString());
            // The session's time starts when its block is in place: the
            // password prompt takes nothing off it.
            self->m_sessionEnd = self->m_wallClock().addSecs(length.count());
            self->m_sessionEndOnClock = self->m_sessionClock() + length;
            self->m_sessionMinutes = int(length.count() / 60);
            // The block still ends on time without the record, and a relaunch
            // finds it from the block itself; the user hears of it all the same.
            const SessionRecord record{self->m_sessionEnd, websites, apps};
            if (auto saved = self->m_records->save(record); !saved) {
                const QString warning =
                    QStringLiteral("The session could not be recorded: ") + saved.error().message();
                QString& notes = result.value().notes;
                notes = notes.isEmpty() ? warning : notes + QLatin1Char('\n') + warning;
            }
        }
        self->finishStart(std::move(result), replacing);
    };
    // With no websites only an earlier section is removed.
    if (m_websites.isEmpty())
        m_hostBlocker->clear(std::move(written));
    else
        m_hostBlocker->apply(m_websites, length, std::move(written));
}

void FocusSessionManager::finishStart(HostBlocker::RunResult written, bool replacing) {
    if (written) {
        beginSession();
        if (!written.value().notes.isEmpty())
            setErrorMessage(written.value().notes);
        QStringList fresh;
        for (const QString& notice : written.value().notices) {
            if (!m_shownNotices.contains(notice)) {
                m_shownNotices.insert(notice);
                fresh.append(notice);
            }
        }
        setNotice(fresh.join(QLatin1Char('\n')));
        return;
    }
    stop(false);
    // Not a dead end: the window offers to have it removed.
    if (written.error().kind() == HostBlockerError::Kind::UnownedSection)
        setUnownedBlockMessage(describe(written.error()));
    else
        setErrorMessage(written.error().errorDescription().value_or(
            QStringLiteral("Unable to start focus mode.")));
    if (!replacing && !m_records->exists()) {
        setPendingRun(PendingRun::None);
        return;
    }
    // The session this start replaced has ended too: so does its block. The
    // start's own error stays on the error line.
    removeBlock(QString(), [] {});
}

void FocusSessionManager::beginSession() {
    m_appBlocker = std::make_unique<AppBlocker>(m_sessionApps, *m_workspace, m_sweepInterval);
    m_appBlocker->start();
    setStatusMessage(QStringLiteral("Focus session active."));
    startCountdown();
    setPendingRun(PendingRun::None);
}

void FocusSessionManager::stop() {
    if (isBusy())
        return;
    stop(true);
}

void FocusSessionManager::stop(bool cleanUpHost, std::function<void()> onRemoved) {
    releaseSessionResources();
    setSessionActive(false);
    if (!cleanUpHost) {
        setRemainingSeconds(0);
        setStatusMessage(QStringLiteral("Focus session ended."));
        return;
    }
    // The session ends all the same; a block left behind is said, and its
    // record stays so that it is removed later.
    removeBlock(
        QStringLiteral("Websites are still blocked: "),
        [this] {
            setRemainingSeconds(0);
            setStatusMessage(QStringLiteral("Focus session stopped."));
        },
        std::move(onRemoved));
}

void FocusSessionManager::removeUnownedBlock() {
    if (isBusy())
        return;
    setErrorMessage(std::nullopt);
    setPendingRun(PendingRun::UnownedRemoval);
    const QPointer<FocusSessionManager> self(this);
    m_hostBlocker->removeUnowned([self](HostBlocker::RunResult removed) {
        if (!self)
            return;
        if (removed) {
            self->setUnownedBlockMessage(QString());
            self->setStatusMessage(tr("The old website block was removed."));
            if (!removed.value().notes.isEmpty())
                self->setErrorMessage(removed.value().notes);
        } else {
            self->setErrorMessage(tr("The old website block could not be removed: ") +
                                  describe(removed.error()));
        }
        self->setPendingRun(PendingRun::None);
    });
}

void FocusSessionManager::releaseSessionResources() {
    m_countdown.stop();
    ++m_countdownNumber;
    m_appBlocker.reset();
}

void FocusSessionManager::startCountdown() {
    ++m_countdownNumber;
    m_countdown.start();
}

// The time left is measured, not counted: a stall or a suspend shortens what
// is left instead of stretching the session.
void FocusSessionManager::tick() {
    if (m_remainingSeconds < 1)
        return;
    const qint64 leftMs = (m_sessionEndOnClock - m_sessionClock()).count();
    setRemainingSeconds(std::max<qint64>(0, (leftMs + 500) / 1000));
    // Told only once the websites are free again: a block that stays is
    // said on the error line alone.
    if (m_remainingSeconds == 0)
        stop(true, [this, minutes = m_sessionMinutes] { emit sessionCompleted(minutes); });
}

QString FocusSessionManager::formatDuration() const {
    return QString::asprintf("%02lld:%02lld", static_cast<long long>(m_remainingSeconds / 60),
                             static_cast<long long>(m_remainingSeconds % 60));
}

void FocusSessionManager::addWebsite(const QString& text) {
    const QString entry = text.trimmed().toLower();
    if (entry.isEmpty() || listsEntry(m_websites, entry))
        return;
    setWebsites(m_websites + QStringList{entry});
    persist();
}

void FocusSessionManager::importWebsites(const QString& path) {
    // Far beyond any published list; a wrong file is not read into memory.
    constexpr qint64 kLargestFile = 256 * 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestFile) {
        setErrorMessage(tr("%1 could not be imported: %2")
                            .arg(QFileInfo(path).fileName(),
                                 file.isOpen() ? tr("the file is too large") : file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setErrorMessage(
            tr("%1 could not be imported: %2").arg(QFileInfo(path).fileName(), file.errorString()));
        return;
    }
    const WebsiteImport imported = WebsiteImport::parse(bytes);
    // A set, not a search of the list per entry: lists of 100,000 are common.
    QSet<QString> listed;
    listed.reserve(m_websites.size() + imported.entries.size());
    for (const QString& existing : m_websites)
        listed.insert(listEntryKey(existing));
    QStringList websites = m_websites;
    int skipped = imported.skipped;
    for (const QString& text : imported.entries) {
        const QString entry = text.trimmed().toLower();
        if (entry.isEmpty() || listed.contains(listEntryKey(entry))) {
            ++skipped;
            continue;
        }
        listed.insert(listEntryKey(entry));
        websites.append(entry);
    }
    const qsizetype added = websites.size() - m_websites.size();
    if (added > 0) {
        setWebsites(std::move(websites));
        persist();
    }
    setStatusMessage((added == 1 ? tr("Added 1 website; ") : tr("Added %1 websites; ").arg(added)) +
                     tr("%1 skipped.").arg(skipped));
}

void FocusSessionManager::addAppBundleId(const QString& text) {
    const QString entry = text.trimmed();
    if (entry.isEmpty() || listsEntry(m_appBundleIds, entry))
        return;
    setAppBundleIds(m_appBundleIds + QStringList{entry});
    persist();
}

void FocusSessionManager::removeWebsite(const QString& entry) {
    setWebsites(without(m_websites, entry));
    persist();
}

void FocusSessionManager::removeAppBundleId(const QString& entry) {
    setAppBundleIds(without(m_appBundleIds, entry));
    persist();
}

// The lists stay as edited even when they cannot be saved; the next change
// tries again, and a save that works takes its own error away.
void FocusSessionManager::persist() {
    const auto saved = m_store->save(FocusConfiguration{m_websites, m_appBundleIds});
    if (!saved) {
        setErrorMessage(QStringLiteral("The block lists could not be saved: ") +
                        saved.error().message());
        m_saveErrorShown = true;
    } else if (m_saveErrorShown) {
        setErrorMessage(std::nullopt);
    }
}

// Every assignment notifies, also of an equal value: the window redraws from
// what it reads after each signal.
void FocusSessionManager::setWebsites(QStringList value) {
    m_websites = std::move(value);
    emit websitesChanged();
}

void FocusSessionManager::setAppBundleIds(QStringList value) {
    m_appBundleIds = std::move(value);
    emit appBundleIdsChanged();
}

void FocusSessionManager::setSessionActive(bool value) {
    m_isSessionActive = value;
    emit isSessionActiveChanged();
}

void FocusSessionManager::setRemainingSeconds(qint64 value) {
    m_remainingSeconds = value;
    emit remainingSecondsChanged();
}

void FocusSessionManager::setStatusMessage(QString value) {
    m_statusMessage = std::move(value);
    emit statusMessageChanged();
}

void FocusSessionManager::setPendingRun(PendingRun value) {
    if (m_pendingRun == value)
        return;
    m_pendingRun = value;
    emit isBusyChanged();
}

void FocusSessionManager::setNotice(QString value) {
    m_notice = std::move(value);
    emit noticeChanged();
}

void FocusSessionManager::setUnownedBlockMessage(QString value) {
    m_unownedBlockMessage = std::move(value);
    emit unownedBlockChanged();
}

void FocusSessionManager::setErrorMessage(std::optional<QString> value) {
    m_saveErrorShown = false;
    m_removalErrorShown = false;
    m_errorMessage = std::move(value);
    emit errorMessageChanged();
}
