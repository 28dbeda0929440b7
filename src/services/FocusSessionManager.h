#pragma once

#include "platform/Workspace.h"
#include "services/BlockLists.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "services/SessionRecord.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AppBlocker;

// Where a session is kept across launches and how its time is measured.
struct SessionOptions {
    // Required.
    std::unique_ptr<SessionRecordStore> records;
    // Required. Keeps counting through suspend, never jumps with the wall
    // clock.
    std::function<std::chrono::milliseconds()> sessionClock;
    // Used across launches only, and for the end handed to the block.
    std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTimeUtc(); };
    // How often listed applications that slipped past a launch event are
    // asked again.
    std::chrono::milliseconds sweepInterval{2000};
};

// The controller behind the window: owns the block lists (kept by
// `BlockLists`), the session state and the countdown, and is the only caller
// of the blockers and the store. Everything the window reads is published
// here.
class FocusSessionManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList websites READ websites NOTIFY websitesChanged)
    Q_PROPERTY(QStringList appBundleIds READ appBundleIds NOTIFY appBundleIdsChanged)
    // The one session state every view derives from.
    Q_PROPERTY(SessionState state READ state NOTIFY stateChanged)
    // True while starting and while active.
    Q_PROPERTY(bool isSessionActive READ isSessionActive NOTIFY isSessionActiveChanged)
    Q_PROPERTY(qint64 remainingSeconds READ remainingSeconds NOTIFY remainingSecondsChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    // Empty while absent; see hasErrorMessage.
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY errorMessageChanged)
    // The last start's quiet notices that this run had not shown before, one
    // a line; empty when none.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // A change of the hosts file is under way (the system may be asking for
    // the password); start and stop are ignored until it has returned.
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(PendingRun pendingRun READ pendingRun NOTIFY isBusyChanged)
    // A block was refused because an old section without owner is in the
    // hosts file; removeUnownedBlock() asks an administrator to remove it.
    Q_PROPERTY(bool hasUnownedBlock READ hasUnownedBlock NOTIFY unownedBlockChanged)
    // What is in the way, for the user; empty while nothing is.
    Q_PROPERTY(QString unownedBlockMessage READ unownedBlockMessage NOTIFY unownedBlockChanged)
    // A file is being imported; the lists can be edited meanwhile.
    Q_PROPERTY(bool isImporting READ isImporting NOTIFY importingChanged)
    // The last import or removal can be taken back.
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY undoChanged)

public:
    // Starting and Stopping last while a privileged run is pending; a start
    // that needs none goes straight from Idle to Active.
    enum class SessionState { Idle, Starting, Active, Stopping };
    Q_ENUM(SessionState)
    // What the privileged run under way is for.
    enum class PendingRun { None, Block, Removal, UnownedRemoval };
    Q_ENUM(PendingRun)

    // Every dependency is required; the app wires the real ones.
    FocusSessionManager(std::unique_ptr<FocusStore> store, std::unique_ptr<HostBlocker> hostBlocker,
                        std::unique_ptr<Workspace> workspace,
                        std::chrono::milliseconds countdownInterval, SessionOptions options,
                        QObject* parent = nullptr);
    ~FocusSessionManager() override;

    const QStringList& websites() const { return m_lists->websites(); }
    const QStringList& appBundleIds() const { return m_lists->appBundleIds(); }
    SessionState state() const { return m_state; }
    bool isSessionActive() const {
        return m_state == SessionState::Starting || m_state == SessionState::Active;
    }
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    const QString& statusMessage() const { return m_statusMessage; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    QString errorMessageText() const { return m_errorMessage.value_or(QString()); }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    const QString& notice() const { return m_notice; }
    bool isBusy() const { return m_pendingRun != PendingRun::None; }
    PendingRun pendingRun() const { return m_pendingRun; }
    bool hasUnownedBlock() const { return !m_unownedBlockMessage.isEmpty(); }
    const QString& unownedBlockMessage() const { return m_unownedBlockMessage; }
    // When the running session ends (UTC); invalid while none runs.
    QDateTime sessionEnd() const { return isSessionActive() ? m_sessionEnd : QDateTime(); }

    // Takes up the session an earlier run left, or removes the block it left
    // behind. Called once, when the window listens: it may ask for the
    // administrator's password.
    void resume();

    void start(int minutes);
    void stop();
    // Removes every section without owner, and every lone marker, with an
    // administrator's permission; says on the status line that it worked, on
    // the error line why not. Ignored while another run is under way.
    void removeUnownedBlock();
    QString formatDuration() const;

    // Returns the list's entry for `text`, new or already there; empty
    // when nothing was added. The status line says a duplicate, an entry
    // that blocks nothing and a full list.
    QString addWebsite(const QString& text);
    // Reads the list or hosts file at `path` off this thread and adds its
    // new names a block can hold in one save; the status line says how many
    // were added, already there and skipped, the error line why a file could
    // not be read. Ignored while an import runs.
    void importWebsites(const QString& path);
    bool isImporting() const { return m_lists->isImporting(); }
    void cancelImport();
    QString addAppBundleId(const QString& text);
    void removeWebsite(const QString& entry);
    void removeAppBundleId(const QString& entry);
    // Removes every copy of each of `entries` in one save; undoable.
    void removeEntries(BlockList list, const QStringList& entries);
    bool canUndo() const { return m_lists->canUndo(); }
    // Takes back the last import or removal, in one save.
    void undoListChange();

signals:
    // Each goes out once a change is complete, and only when its value
    // changed; the status line also when the same message is said again.
    void stateChanged();
    void websitesChanged();
    void appBundleIdsChanged();
    void isSessionActiveChanged();
    void remainingSecondsChanged();
    void statusMessageChanged();
    void errorMessageChanged();
    void noticeChanged();
    void isBusyChanged();
    void unownedBlockChanged();
    void importingChanged();
    void importProgressChanged(int perMille);
    void undoChanged();
    // The countdown reached zero and the block is gone; `minutes` is the
    // session's length, 0 for a session taken up again after a restart.
    void sessionCompleted(int minutes);

private:
    // Everything a view can read; compared before and after a change.
    struct Published {
        SessionState state;
        QStringList websites;
        QStringList appBundleIds;
        qint64 remainingSeconds;
        std::optional<QString> errorMessage;
        QString notice;
        PendingRun pendingRun;
        QString unownedBlockMessage;
    };
    // Held while a change is made; the outermost one announces it.
    class Change;
    Published published() const;
    void announce();

    // `onRemoved` runs once the block is gone, never when it stays.
    void stop(bool cleanUpHost, std::function<void()> onRemoved = {});
    void finishStart(HostBlocker::RunResult written, bool replacing);
    void beginSession();
    void removeBlock(const QString& failurePrefix, std::function<void()> beforeReport,
                     std::function<void()> onRemoved = {});
    void setPendingRun(PendingRun value);
    // Ends the countdown timer and the application blocker, if any.
    void releaseSessionResources();
    void startCountdown();
    void tick();
    // Says what a list edit had to say; returns the entry it was about.
    QString tell(const ListAnswer& answer);

    void setState(SessionState value);
    void setRemainingSeconds(qint64 value);
    void setStatusMessage(QString value);
    void setErrorMessage(std::optional<QString> value);
    void setNotice(QString value);
    void setUnownedBlockMessage(QString value);

    SessionState m_state = SessionState::Idle;
    qint64 m_remainingSeconds = 0;
    QString m_statusMessage = QStringLiteral("Ready");
    std::optional<QString> m_errorMessage;
    QString m_notice;
    // Every notice shown since launch: each is said once a run.
    QSet<QString> m_shownNotices;
    // The error line shows a failed save of the lists.
    bool m_saveErrorShown = false;
    PendingRun m_pendingRun = PendingRun::None;
    // The error line shows a block that could not be removed.
    bool m_removalErrorShown = false;
    QString m_unownedBlockMessage;
    // A child.
    BlockLists* m_lists;
    std::unique_ptr<HostBlocker> m_hostBlocker;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<SessionRecordStore> m_records;
    std::function<std::chrono::milliseconds()> m_sessionClock;
    std::function<QDateTime()> m_wallClock;
    std::chrono::milliseconds m_countdownInterval;
    std::chrono::milliseconds m_sweepInterval;
    QDateTime m_sessionEnd;
    std::chrono::milliseconds m_sessionEndOnClock{0};
    QStringList m_sessionApps;
    int m_sessionMinutes = 0;
    // After the workspace it uses, so it is destroyed first.
    std::unique_ptr<AppBlocker> m_appBlocker;
    // A child named "countdown".
    QTimer m_countdown{this};
    // Counts countdowns, so a tick queued by an ended one is dropped.
    quint64 m_countdownNumber = 0;
    int m_changeDepth = 0;
    Published m_before;
    // The lists as last told to the views.
    QStringList m_toldWebsites;
    QStringList m_toldAppBundleIds;
    bool m_statusSaid = false;
};
