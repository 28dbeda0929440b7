#include "app/TarnhollowApp.h"
#include "fakes/DirectShellRunner.h"
#include "fakes/FakeInstalledApplications.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "fakes/SteadyClock.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/ContentView.h"
#include "ui/FormCard.h"
#include "ui/ProminentButton.h"
#include "ui/SessionCard.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Windows of the real application, with the home and runtime folders moved to
// a temporary directory: no real configuration or running copy is met. Test
// mode keeps the data folder inside that home on every platform (macOS ignores
// XDG_DATA_HOME). The controllers keep the lists where the app does, but
// block on a temporary hosts file with an unprivileged runner and fakes.
class SilentNotifier : public SessionNotifier {
public:
    void sessionEnded(int) override {}
};

// Says whether it is held, in a flag the test owns.
struct FlagActivity : SessionActivity {
    explicit FlagActivity(bool& held) : held(held) {}
    void begin() override { held = true; }
    void end() override { held = false; }
    bool& held;
};

class TarnhollowAppTest : public QObject {
    Q_OBJECT

    TarnhollowApp app() {
        AppWiring wiring;
        wiring.controller = [this] {
            const QString hosts = m_data.filePath("hosts");
            QFile file(hosts);
            if (!file.exists() && file.open(QIODevice::WriteOnly))
                file.write("127.0.0.1 localhost\n");
            file.close();
            return std::make_unique<FocusSessionManager>(
                std::make_unique<FocusStore>(),
                std::make_unique<HostBlocker>(
                    HostBlockerOptions{hosts},
                    std::make_unique<DirectShellRunner>(hosts, m_data.path()),
                    std::make_unique<NullDnsCacheFlusher>()),
                std::make_unique<FakeWorkspace>(), std::chrono::seconds(1),
                SessionOptions{std::make_unique<SessionRecordStore>(
                                   m_data.filePath("session.json"),
                                   m_data.filePath("autostart.desktop"), "/bin/true"),
                               steadyClock()});
        };
        wiring.installedApplications = [] { return std::make_unique<FakeInstalledApplications>(); };
        wiring.notifier = [this] {
            ++m_notifiersMade;
            return std::make_unique<SilentNotifier>();
        };
        wiring.afterFirstPaint = [this] { ++m_readAheads; };
        wiring.sessionActivity = [this] { return std::make_unique<FlagActivity>(m_activityHeld); };
        return TarnhollowApp(std::move(wiring));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_data.isValid());
        qputenv("HOME", m_data.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_data.path().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        QGuiApplication::setApplicationDisplayName("Tarnhollow"); // as run() does
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                    .startsWith(m_data.path()));
    }

    // The minimum size is checked with the view; here the window grows.
    void windowSizeFollowsTheContent() {
        const QSize expected(1400, 1000);
        const std::unique_ptr<QWidget> window = app().makeWindow();
        auto* view = qobject_cast<ContentView*>(window.get());
        QVERIFY(view);
        QCOMPARE(window->size(), QSize(640, 560));
        QCOMPARE(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(expected);
        QTRY_COMPARE(window->size(), expected);

        // Content keeps to the top and leading edge; the wide parts stretch.
        const SessionCard* card = view->sessionCard();
        QCOMPARE(view->websitesCard()->x(), 20);
        QVERIFY(card->geometry().bottom() < 560);
        QCOMPARE(card->width(), expected.width() - 40);
        QCOMPARE(card->startStopButton()->width(), card->width());
        QCOMPARE(card->remainingLabel()->geometry().right(), card->width() - 1);
    }

    void windowsShareOnlyTheFile() {
        const TarnhollowApp app = this->app();
        const std::unique_ptr<QWidget> first = app.makeWindow();
        auto* firstView = qobject_cast<ContentView*>(first.get());
        firstView->websitesCard()->inputField()->setText("mail.test");
        firstView->websitesCard()->addButton()->click();

        const std::unique_ptr<QWidget> second = app.makeWindow();
        auto* secondView = qobject_cast<ContentView*>(second.get());
        QVERIFY(&secondView->manager() != &firstView->manager());
        QCOMPARE(secondView->manager().websites(), QStringList{"mail.test"});
        secondView->manager().addWebsite("news.test");
        QCOMPARE(firstView->manager().websites(), QStringList{"mail.test"});
        QVERIFY(
            QFile::exists(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          "/Tarnhollow/focus-config.json"));
    }

    // From a session taken up as the window opens to its end, and for one
    // started by hand until it is stopped. The title names the app once.
    void activityAndTitleFollowTheSession() {
        QVERIFY(SessionRecordStore(m_data.filePath("session.json"),
                                   m_data.filePath("autostart.desktop"), "/bin/true")
                    .save({QDateTime::currentDateTimeUtc().addSecs(1), {}, {"com.x"}}));
        const std::unique_ptr<QWidget> window = app().makeWindow();
        FocusSessionManager& manager = qobject_cast<ContentView*>(window.get())->manager();
        QVERIFY(manager.isSessionActive() && m_activityHeld);
        QTRY_VERIFY(!manager.isSessionActive() && !m_activityHeld);
        manager.addAppBundleId("com.x");
        manager.start(5);
        QVERIFY(m_activityHeld);
        QCOMPARE(window->windowTitle(), "05:00 left — Tarnhollow");
        manager.stop();
        QVERIFY(!m_activityHeld);
        QCOMPARE(window->windowTitle(), "Tarnhollow");
    }

    // The bus and the disk wait for the first frame.
    void nothingConnectedBeforeTheFirstFrame() {
        m_notifiersMade = m_readAheads = 0;
        const std::unique_ptr<QWidget> window = app().makeWindow();
        QTest::qWait(50);
        QCOMPARE(m_notifiersMade + m_readAheads, 0);
        window->show();
        QTRY_COMPARE(m_notifiersMade, 1);
        QCOMPARE(m_readAheads, 1);
    }

private:
    QTemporaryDir m_data;
    bool m_activityHeld = false;
    int m_notifiersMade = 0;
    int m_readAheads = 0;
};

QTEST_MAIN(TarnhollowAppTest)
#include "tst_TarnhollowApp.moc"
