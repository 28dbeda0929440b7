#include "app/SingleInstance.h"
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
#include "ui/EntryListView.h"
#include "ui/FormCard.h"
#include "ui/ProminentButton.h"
#include "ui/SessionCard.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
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
        QCOMPARE(window->minimumSize(), QSize(640, 560));
        QCOMPARE(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), window->sizeHint().expandedTo(window->minimumSize()));
        window->resize(expected);
        QTRY_COMPARE(window->size(), expected);

        // Content keeps to the top and leading edge; the wide parts stretch.
        const SessionCard* card = view->sessionCard();
        QCOMPARE(view->websitesCard()->mapTo(view, QPoint()).x(), 20);
        QVERIFY(card->mapTo(view, QPoint(0, card->height())).y() < 560);
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

    // At each scale and text size, on a 1366 x 768 screen, the window's
    // minimum is 640 x 560 points or the screen, whichever is less; with
    // long lists it stays on the screen with Start in view and the lists'
    // ends in reach. The scale is read as the application starts, so each
    // row runs in a child process of this test.
    void fitsTheScreenAtAnyScale_data() {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        for (const char* factor : {"1", "1.25", "1.5", "2"})
            QTest::addRow("scale %s", factor)
                << QByteArray("QT_SCALE_FACTOR") << QByteArray(factor);
        QTest::newRow("text at 120 dpi") << QByteArray("QT_FONT_DPI") << QByteArray("120");
    }

    void fitsTheScreenAtAnyScale() {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        if (qgetenv(variable) != value) {
            QFile screens(m_data.filePath("screens.json"));
            QVERIFY(screens.open(QIODevice::WriteOnly));
            screens.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366,)"
                          R"( "height": 768, "logicalDpi": 96, "dpr": 1}]})");
            screens.close();
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(variable, value);
            environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName());
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("fitsTheScreenAtAnyScale:") + QTest::currentDataTag()});
            QVERIFY(child.waitForFinished(60000));
            QCOMPARE(child.exitCode(), 0);
            return;
        }
        const std::unique_ptr<QWidget> window = app().makeWindow();
        auto* view = qobject_cast<ContentView*>(window.get());
        for (int i = 0; i < 100; ++i) {
            view->manager().addWebsite(QStringLiteral("site%1.test").arg(i));
            view->manager().addAppBundleId(QStringLiteral("org.example.App%1").arg(i));
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect screen = window->screen()->availableGeometry();
        QTRY_VERIFY(screen.contains(window->frameGeometry()));
        const QSize frame = window->frameGeometry().size() - window->size();
        QCOMPARE(window->minimumSize(), QSize(640, 560).boundedTo(screen.size() - frame));
        window->resize(window->minimumSize());
        QTRY_COMPARE(window->size(), window->minimumSize());
        const QWidget* start = view->sessionCard()->startStopButton();
        QVERIFY(
            window->rect().contains(QRect(start->mapTo(window.get(), QPoint()), start->size())));
        QScrollBar* scroll = view->scrollArea()->verticalScrollBar();
        scroll->setValue(scroll->maximum());
        const QWidget* apps = view->appsCard();
        QVERIFY(view->scrollArea()->viewport()->rect().contains(
            apps->mapTo(view->scrollArea()->viewport(), QPoint(0, apps->height() - 1))));
        QVERIFY(view->websitesCard()->entryList()->verticalScrollBar()->maximum() > 0);
    }

    // Alt+A and Alt+W reach the fields; Ctrl+W closes the window.
    void keysReachTheFieldsAndClose() {
        const std::unique_ptr<QWidget> window = app().makeWindow();
        auto* view = qobject_cast<ContentView*>(window.get());
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), view->appsCard()->inputField());
        QTest::keyClick(window.get(), Qt::Key_W, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), view->websitesCard()->inputField());
        QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
        QVERIFY(!window->isVisible());
    }

    // Help and the version need no display.
    void answersWithoutDisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("printed");
        QTest::newRow("help") << "--help"
                              << "--resume-session";
        QTest::newRow("version") << "--version"
                                 << "tarnhollow " TARNHOLLOW_VERSION;
    }

    void answersWithoutDisplay() {
        QFETCH(QString, option);
        QFETCH(QString, printed);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(display);
        program.setProcessEnvironment(environment);
        program.start(TARNHOLLOW_EXECUTABLE, {option});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QString::fromLocal8Bit(program.readAllStandardOutput()).contains(printed));
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

    // A later launch finds the running copy and asks it to show itself.
    void oneCopyPerUser() {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), SingleInstance::Claim::Claimed);
        QSignalSpy asked(&first, &SingleInstance::activationRequested);
        QCOMPARE(SingleInstance(runtime.path()).claim(), SingleInstance::Claim::AnotherCopyRuns);
        QVERIFY(asked.wait(2000));
    }

private:
    QTemporaryDir m_data;
    bool m_activityHeld = false;
    int m_notifiersMade = 0;
    int m_readAheads = 0;
};

QTEST_MAIN(TarnhollowAppTest)
#include "tst_TarnhollowApp.moc"
