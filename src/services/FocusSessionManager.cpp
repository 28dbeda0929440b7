#include "services/FocusSessionManager.h"

#include "hosts/HostsText.h"
#include "platform/Workspace.h"
#include "services/AppBlocker.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

// How far ahead a block may end and still be taken up as a session's. The
// helper ends it at most the longest session after its write; the margin
// keeps it ours when the wall clock has since been set back a little.
constexpr qint64 kLatestSectionEndSecs = HostsText::kLongestSessionSecs + 5 * 60;

QString describe(const HostBlockerError& error) {
    return error.errorDescription().value_or(QStringLiteral("the hosts file could not be written"));
}

} // namespace

class FocusSessionManager::Change {
public:
    explicit Change(FocusSessionManager& manager) : m_manager(manager) {
        if (m_manager.m_changeDepth++ == 0) {
            m_manager.m_before = m_manager.published();
            m_manager.m_statusSaid = false;
        }
    }
    ~Change() {
        if (--m_manager.m_changeDepth == 0)
            m_manager.announce();
    }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

private:
    FocusSessionManager& m_manager;
};

FocusSessionManager::FocusSessionManager(std::unique_ptr<FocusStore> store,
                                         std::unique_ptr<HostBlocker> hostBlocker,
                                         std::unique_ptr<Workspace> workspace,
                                         std::chrono::milliseconds countdownInterval,
                                         SessionOptions options, QObject* parent)
    : QObject(parent), m_lists(new BlockLists(std::move(store), this)),
      m_hostBlocker(std::move(hostBlocker)), m_workspace(std::move(workspace)),
      m_records(std::move(options.records)), m_sessionClock(std::move(options.sessionClock)),
      m_wallClock(std::move(options.wallClock)), m_countdownInterval(countdownInterval),
      m_sweepInterval(options.sweepInterval) {
    m_toldWebsites = websites();
    m_toldAppBundleIds = appBundleIds();
    Q_ASSERT(m_hostBlocker && m_workspace && m_records && m_sessionClock && m_wallClock);
    const Change change(*this);
    m_countdown.setObjectName(QStringLiteral("countdown"));
    connect(m_lists, &BlockLists::importingChanged, this, &FocusSessionManager::importingChanged);
    connect(m_lists, &BlockLists::importProgressChanged, this,
            &FocusSessionManager::importProgressChanged);
    connect(m_lists, &BlockLists::undoChanged, this, &FocusSessionManager::undoChanged);
    connect(m_lists, &BlockLists::importFinished, this, [this](const ListAnswer& answer) {
        const Change change(*this);
        tell(answer);
    });
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
    setStatusMessage(QStringLiteral("Ready"));
}

FocusSessionManager::~FocusSessionManager() = default;

// A session outlives the window that started it: one still running is taken
// up again, one that has ended (or left only its block behind) is removed.
void FocusSessionManager::resume() {
    const Change change(*this);
    const QDateTime now = m_wallClock();
    std::optional<SessionRecord> record = m_records->load(now);
    const auto own = m_hostBlocker->ownSection();
    const bool ownSection = own.has_value();
    // The block's end lives with the block: a lost or damaged record never
    // ends it early. The applications are the current list's.
    if (!record && own && own->until > now && now.secsTo(own->until) <= kLatestSectionEndSecs) {
        record = SessionRecord{own->until, {}, appBundleIds()};
        (void)m_records->save(*record);
    }
    if (record && record->end > now) {
        const qint64 left = std::max<qint64>(1, now.msecsTo(record->end));
        m_sessionEnd = record->end;
        m_sessionEndOnClock = m_sessionClock() + std::chrono::milliseconds(left);
        m_sessionApps = record->appBundleIds;
        m_sessionMinutes = 0;
        // At least a second, so that the next tick still ends it.
        setRemainingSeconds(std::max<qint64>(1, (left + 500) / 1000));
        if (ownSection || record->websites.isEmpty()) {
            setState(SessionState::Starting);
            beginSession();
            return;
        }
        // The block went missing: written again the way a start writes it,
        // for what is left of the session.
        setState(SessionState::Starting);
        setPendingRun(PendingRun::Block);
        const QPointer<FocusSessionManager> self(this);
        const std::chrono::seconds length((left + 999) / 1000);
        m_hostBlocker->apply(record->websites, length, [self](HostBlocker::RunResult r) {
            if (!self)
                return;
            const Change change(*self);
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
        std::optional<Change> change(std::in_place, *self);
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
        change.reset();
        // Last: whoever hears of it sees the state complete.
        if (removed && onRemoved)
            onRemoved();
    });
}

void FocusSessionManager::start(int minutes) {
    // A click while the system asks for the password starts nothing.
    if (isBusy() || minutes < 1)
        return;
    const Change change(*this);
    // Entries that give no name block nothing: no password is asked for them.
    const QStringList& websites = m_lists->websites();
    const QStringList& apps = m_lists->appBundleIds();
    const bool blocksWebsites = !HostBlocker::hostNames(websites).isEmpty();
    if (!blocksWebsites && apps.isEmpty()) {
        setStatusMessage(websites.isEmpty()
                             ? QStringLiteral("Add at least one website or app to block first.")
                             : tr("No website on the list can be blocked (see the hint beside "
                                  "each) and no app is listed."));
        return;
    }
    // Starting over a running session replaces it: never two countdowns or
    // two application blockers.
    const bool replacing = isSessionActive();
    releaseSessionResources();

    setErrorMessage(std::nullopt);
    setNotice(QString());
    setState(SessionState::Starting);
    setRemainingSeconds(qint64(minutes) * 60);

    const std::chrono::seconds length = std::chrono::minutes(minutes);
    m_sessionApps = apps;
    setPendingRun(PendingRun::Block);
    const QPointer<FocusSessionManager> self(this);
    auto written = [self, length, websites, apps, replacing](HostBlocker::RunResult result) {
        if (!self)
            return;
        const Change change(*self);
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
    if (!blocksWebsites)
        m_hostBlocker->clear(std::move(written));
    else
        m_hostBlocker->apply(websites, length, std::move(written));
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
    setState(SessionState::Active);
    setStatusMessage(QStringLiteral("Focus session active."));
    startCountdown();
    setPendingRun(PendingRun::None);
}

void FocusSessionManager::stop() {
    if (isBusy())
        return;
    const Change change(*this);
    stop(true);
}

void FocusSessionManager::stop(bool cleanUpHost, std::function<void()> onRemoved) {
    releaseSessionResources();
    if (!cleanUpHost) {
        setState(SessionState::Idle);
        setRemainingSeconds(0);
        setStatusMessage(QStringLiteral("Focus session ended."));
        return;
    }
    // The session ends all the same; a block left behind is said, and its
    // record stays so that it is removed later.
    setState(SessionState::Stopping);
    removeBlock(
        QStringLiteral("Websites are still blocked: "),
        [this] {
            setState(SessionState::Idle);
            setRemainingSeconds(0);
            setStatusMessage(QStringLiteral("Focus session stopped."));
        },
        std::move(onRemoved));
}

void FocusSessionManager::removeUnownedBlock() {
    if (isBusy())
        return;
    const Change change(*this);
    setErrorMessage(std::nullopt);
    setPendingRun(PendingRun::UnownedRemoval);
    const QPointer<FocusSessionManager> self(this);
    m_hostBlocker->removeUnowned([self](HostBlocker::RunResult removed) {
        if (!self)
            return;
        const Change change(*self);
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
    const Change change(*this);
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

QString FocusSessionManager::addWebsite(const QString& text) {
    const Change change(*this);
    return tell(m_lists->addWebsite(text));
}

void FocusSessionManager::importWebsites(const QString& path) {
    const Change change(*this);
    tell(m_lists->importWebsites(path));
}

void FocusSessionManager::cancelImport() {
    m_lists->cancelImport();
}

QString FocusSessionManager::addAppBundleId(const QString& text) {
    const Change change(*this);
    return tell(m_lists->addAppBundleId(text));
}

void FocusSessionManager::removeWebsite(const QString& entry) {
    removeEntries(BlockList::Websites, {entry});
}

void FocusSessionManager::removeAppBundleId(const QString& entry) {
    removeEntries(BlockList::Applications, {entry});
}

void FocusSessionManager::removeEntries(BlockList list, const QStringList& entries) {
    const Change change(*this);
    tell(m_lists->remove(list, entries));
}

void FocusSessionManager::undoListChange() {
    const Change change(*this);
    tell(m_lists->undo());
}

// A failed save stays on the error line until a save works; the lists stay
// as edited meanwhile.
QString FocusSessionManager::tell(const ListAnswer& answer) {
    if (answer.saveError && !answer.saveError->isEmpty()) {
        setErrorMessage(QStringLiteral("The block lists could not be saved: ") + *answer.saveError);
        m_saveErrorShown = true;
    } else if (answer.saveError && m_saveErrorShown) {
        setErrorMessage(std::nullopt);
    }
    if (answer.error)
        setErrorMessage(*answer.error);
    if (!answer.status.isEmpty())
        setStatusMessage(answer.status);
    return answer.entry;
}

FocusSessionManager::Published FocusSessionManager::published() const {
    return {m_state,        m_toldWebsites, m_toldAppBundleIds, m_remainingSeconds,
            m_errorMessage, m_notice,       m_pendingRun,       m_unownedBlockMessage};
}

// Views read the whole state after any signal, so each sees it complete.
void FocusSessionManager::announce() {
    const Published before = std::exchange(m_before, Published{});
    const bool said = std::exchange(m_statusSaid, false);
    const bool wasActive =
        before.state == SessionState::Starting || before.state == SessionState::Active;
    if (before.state != m_state)
        emit stateChanged();
    // Compared with what was told last: an import changes the lists before
    // the change that tells of it begins.
    m_toldWebsites = websites();
    m_toldAppBundleIds = appBundleIds();
    if (before.websites != m_toldWebsites)
        emit websitesChanged();
    if (before.appBundleIds != m_toldAppBundleIds)
        emit appBundleIdsChanged();
    if (wasActive != isSessionActive())
        emit isSessionActiveChanged();
    if (before.remainingSeconds != m_remainingSeconds)
        emit remainingSecondsChanged();
    if (said)
        emit statusMessageChanged();
    if (before.errorMessage != m_errorMessage)
        emit errorMessageChanged();
    if (before.notice != m_notice)
        emit noticeChanged();
    if (before.pendingRun != m_pendingRun)
        emit isBusyChanged();
    if (before.unownedBlockMessage != m_unownedBlockMessage)
        emit unownedBlockChanged();
}

void FocusSessionManager::setState(SessionState value) {
    const Change change(*this);
    m_state = value;
}

void FocusSessionManager::setRemainingSeconds(qint64 value) {
    const Change change(*this);
    m_remainingSeconds = value;
}

// Said again, the same message is an answer to a new act of the user's.
void FocusSessionManager::setStatusMessage(QString value) {
    const Change change(*this);
    m_statusMessage = std::move(value);
    m_statusSaid = true;
}

void FocusSessionManager::setPendingRun(PendingRun value) {
    const Change change(*this);
    m_pendingRun = value;
}

void FocusSessionManager::setNotice(QString value) {
    const Change change(*this);
    m_notice = std::move(value);
}

void FocusSessionManager::setUnownedBlockMessage(QString value) {
    const Change change(*this);
    m_unownedBlockMessage = std::move(value);
}

void FocusSessionManager::setErrorMessage(std::optional<QString> value) {
    const Change change(*this);
    m_saveErrorShown = false;
    m_removalErrorShown = false;
    m_errorMessage = std::move(value);
}
