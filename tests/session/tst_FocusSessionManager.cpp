#include "fakes/DirectShellRunner.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/FileBytes.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "services/AppBlocker.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kHostsWithOldSection = "127.0.0.1 localhost\n\n# Tarnhollow:BEGIN\n"
                                        "# Blocked sites - 2020-01-01\n127.0.0.1 old.com\n"
                                        "127.0.0.1 www.old.com\n# Tarnhollow:END\n";
const QString kNone = "<none>";
const QString kActive = "Focus session active.";
const QString kStopped = "Focus session stopped.";
const QString kEnded = "Focus session ended.";
const QString kAddFirst = "Add at least one website or app to block first.";
const QDateTime kWallStart(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC);

QString stateName(FocusSessionManager::SessionState state) {
    return QMetaEnum::fromType<FocusSessionManager::SessionState>().valueToKey(int(state));
}

// A controller on temporary files with an unprivileged shell runner, a fake
// workspace and a log of every change with the value read when announced.
struct Rig {
    explicit Rig(const QByteArray& config, std::chrono::milliseconds interval = 1h,
                 const std::function<void(Rig&)>& beforeLaunch = {}) {
        QVERIFY(dir.isValid());
        QVERIFY(writeAll(hostsPath(), kHostsWithOldSection));
        QVERIFY(writeAll(configPath(), config));
        auto shell = std::make_unique<DirectShellRunner>(hostsPath(), dir.path());
        runner = shell.get();
        auto hostBlocker = std::make_unique<HostBlocker>(
            HostBlockerOptions{hostsPath(), [] { return kWallStart; }}, std::move(shell),
            std::make_unique<NullDnsCacheFlusher>());
        auto fake = std::make_unique<FakeWorkspace>();
        workspace = fake.get();
        if (beforeLaunch)
            beforeLaunch(*this);
        // Time moves only when a test moves it (or by `step` at each reading).
        SessionOptions options{std::make_unique<SessionRecordStore>(
                                   recordPath(), dir.filePath("autostart.desktop"), "/bin/true"),
                               [this] { return std::chrono::milliseconds(clockMs += step); },
                               [this] { return kWallStart.addMSecs(clockMs); }, sweep};
        manager = std::make_unique<FocusSessionManager>(std::make_unique<FocusStore>(configPath()),
                                                        std::move(hostBlocker), std::move(fake),
                                                        interval, std::move(options));
        manager->resume();
        auto* m = manager.get();
        const auto note = [this, m](auto signal, auto text) {
            QObject::connect(m, signal, m, [this, text] { log << text(); });
        };
        note(&FocusSessionManager::stateChanged,
             [m] { return QString("state=%1").arg(stateName(m->state())); });
        note(&FocusSessionManager::websitesChanged,
             [m] { return "websites=" + m->websites().join(','); });
        note(&FocusSessionManager::appBundleIdsChanged,
             [m] { return "apps=" + m->appBundleIds().join(','); });
        note(&FocusSessionManager::isSessionActiveChanged,
             [m] { return QString("active=%1").arg(m->isSessionActive()); });
        note(&FocusSessionManager::remainingSecondsChanged,
             [m] { return QString("remaining=%1").arg(m->remainingSeconds()); });
        note(&FocusSessionManager::statusMessageChanged,
             [m] { return "status=" + m->statusMessage(); });
        note(&FocusSessionManager::errorMessageChanged, [this] { return "error=" + error(); });
    }

    QString hostsPath() const { return dir.filePath("hosts"); }
    QString configPath() const { return dir.filePath("focus-config.json"); }
    QString recordPath() const { return dir.filePath("state/session.json"); }
    QByteArray hosts() const { return readAll(hostsPath()); }
    // Texts name the rig's hosts file; the tables read as the system's.
    QString error() const {
        return manager->errorMessage().value_or(kNone).replace(hostsPath(), "/etc/hosts");
    }
    // Countdowns, application blockers and launch observers that exist.
    QList<int> running() const {
        return {int(countdown()->isActive()), int(workspace->observerCount() > 0),
                workspace->observerCount()};
    }

    QTimer* countdown() const { return manager->findChild<QTimer*>("countdown"); }

    // One second later, a firing of the countdown timer, then its queued tick.
    void fire() {
        clockMs += 1000;
        QVERIFY(countdown()->isActive());
        QVERIFY(QMetaObject::invokeMethod(countdown(), "timeout"));
        QCoreApplication::sendPostedEvents();
    }

    QTemporaryDir dir;
    DirectShellRunner* runner = nullptr;
    FakeWorkspace* workspace = nullptr;
    std::unique_ptr<FocusSessionManager> manager;
    QStringList log;
    qint64 clockMs = 0;
    qint64 step = 0;
    std::chrono::milliseconds sweep{2000};
};

QByteArray configBytes(const QStringList& websites, const QStringList& apps) {
    return FocusStore::encode(FocusConfiguration{websites, apps});
}

} // namespace

class TestFocusSessionManager : public QObject {
    Q_OBJECT

private slots:
    void start_data() {
        QTest::addColumn<QStringList>("websites");
        QTest::addColumn<QStringList>("apps");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("hostsAfter"); // unchanged, blocks, cleared
        QTest::addColumn<int>("asked");          // quit requests to the running com.x

        // Only what changed is announced, once the change is complete.
        const QStringList startOk{"state=Active", "active=1", "remaining=1500",
                                  "status=" + kActive};
        auto failed = [](const QString& error) {
            return QStringList{"status=" + kEnded, "error=" + error};
        };
        const QStringList web{"a.com"}, apps{"com.x"}, none;

        QTest::newRow("zero minutes") << web << apps << 0 << "" << none << "unchanged" << 0;
        QTest::newRow("both lists empty")
            << none << none << 25 << "" << QStringList{"status=" + kAddFirst} << "unchanged" << 0;
        QTest::newRow("websites only") << web << none << 25 << "" << startOk << "blocks" << 0;
        QTest::newRow("no website that names a host, no apps")
            << QStringList{"youtube", "youtube,com"} << none << 25 << ""
            << QStringList{"status=No website on the list can be blocked (see the hint beside "
                           "each) and no app is listed."}
            << "unchanged" << 0;
        QTest::newRow("apps, and a website that names no host")
            << QStringList{"1.2.3.4"} << apps << 25 << "" << startOk << "cleared" << 1;
        QTest::newRow("apps only rewrites hosts without a section")
            << none << apps << 25 << "" << startOk << "cleared" << 1;
        QTest::newRow("both") << web << apps << 25 << "" << startOk << "blocks" << 1;
        QTest::newRow("command fails")
            << web << apps << 25 << "command"
            << failed("Failed to write /etc/hosts: cp: cannot create regular file") << "unchanged"
            << 0;
        QTest::newRow("runner cannot start, with text")
            << web << none << 25 << "start:pkexec is missing" << failed("pkexec is missing")
            << "unchanged" << 0;
        QTest::newRow("error without description")
            << web << apps << 25 << "start:" << failed("Unable to start focus mode.") << "unchanged"
            << 0;
    }

    void start() {
        QFETCH(QStringList, websites);
        QFETCH(QStringList, apps);
        QFETCH(int, minutes);
        QFETCH(QString, failure);
        QFETCH(QStringList, log);
        QFETCH(QString, hostsAfter);
        QFETCH(int, asked);

        Rig rig(configBytes(websites, apps));
        rig.workspace->setRunningApplications({FakeWorkspace::app(1, "com.x")});
        if (failure == "command")
            rig.runner->failWith(1, "cp: cannot create regular file");
        else if (failure.startsWith("start:"))
            rig.runner->failToStartWith(failure.mid(6));

        rig.manager->start(minutes);
        QCOMPARE(rig.log, log);
        QCOMPARE(rig.workspace->terminateCount(1), asked);
        if (hostsAfter == "unchanged") {
            QCOMPARE(rig.hosts(), kHostsWithOldSection);
        } else {
            QCOMPARE(rig.hosts().contains("old.com"), false);
            QCOMPARE(rig.hosts().contains("# Tarnhollow:BEGIN"), hostsAfter == "blocks");
            QCOMPARE(rig.hosts().contains("127.0.0.1 a.com"), hostsAfter == "blocks");
        }
        // Active exactly when the countdown and the application blocker exist.
        const bool active = rig.manager->isSessionActive();
        QCOMPARE(active, log.endsWith("status=" + kActive));
        QCOMPARE(rig.running(), QList<int>(3, active ? 1 : 0));
        QCOMPARE(rig.manager->remainingSeconds(), active ? 1500 : 0);
        // A start never saves.
        QCOMPARE(readAll(rig.configPath()), configBytes(websites, apps));
    }

    void stop_data() {
        QTest::addColumn<bool>("startFirst");
        QTest::addColumn<bool>("sectionRemoved"); // else the clean-up fails

        QTest::newRow("active") << true << true;
        QTest::newRow("active, clean-up fails") << true << false;
        QTest::newRow("idle: the steps run all the same") << false << true;
    }

    // Stopping always ends idle with "Focus session stopped.".
    void stop() {
        QFETCH(bool, startFirst);
        QFETCH(bool, sectionRemoved);

        Rig rig(configBytes({"a.com"}, {"com.x"}));
        if (startFirst)
            rig.manager->start(5);
        const QByteArray hostsBefore = rig.hosts();
        if (!sectionRemoved)
            rig.runner->failWith(1, "denied");
        rig.log.clear();

        rig.manager->stop();
        // A block left behind is said, and its record kept for a later try.
        const QString error =
            sectionRemoved ? kNone
                           : "Websites are still blocked: Failed to write /etc/hosts: denied";
        QStringList expected{"status=" + kStopped};
        if (startFirst)
            expected = QStringList{"state=Idle", "active=0", "remaining=0"} + expected;
        if (!sectionRemoved)
            expected << "error=" + error;
        QCOMPARE(rig.log, expected);
        QCOMPARE(rig.error(), error);
        QCOMPARE(QFile::exists(rig.recordPath()), startFirst && !sectionRemoved);
        QCOMPARE(rig.running(), QList<int>(3, 0));
        QCOMPARE(rig.hosts().contains("# Tarnhollow:BEGIN"), !sectionRemoved);
        if (!sectionRemoved)
            QCOMPARE(rig.hosts(), hostsBefore);
    }

    // A real timer, a short interval: every second is counted once, in order,
    // and the end cleans up like a stop.
    void fullSessionToZero() {
        Rig rig(configBytes({"a.com"}, {"com.x"}), 2ms);
        rig.step = 1000;
        QSignalSpy completed(rig.manager.get(), &FocusSessionManager::sessionCompleted);
        rig.manager->start(1);
        QVERIFY(rig.hosts().contains("127.0.0.1 a.com"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.manager->isSessionActive(), 10000);

        QStringList expected{"state=Active", "active=1", "remaining=60", "status=" + kActive};
        for (int s = 59; s >= 1; --s)
            expected << QString("remaining=%1").arg(s);
        expected << "state=Idle"
                 << "active=0"
                 << "remaining=0"
                 << "status=" + kStopped;
        QCOMPARE(rig.log, expected);
        QVERIFY(!rig.hosts().contains("# Tarnhollow:BEGIN"));
        // The countdown is gone, so nothing ticks afterwards.
        QCOMPARE(rig.running(), QList<int>(3, 0));
        QCOMPARE(completed.size(), 1);
        QCOMPARE(completed.first().first().toInt(), 1);
    }

    // The end is told once the websites are free again, never while the
    // error line says they are still blocked.
    void completionWaitsForTheRemoval_data() {
        QTest::addColumn<bool>("removalFails");
        QTest::newRow("removed") << false;
        QTest::newRow("removal fails") << true;
    }
    void completionWaitsForTheRemoval() {
        QFETCH(bool, removalFails);
        Rig rig(configBytes({"a.com"}, {}));
        QSignalSpy completed(rig.manager.get(), &FocusSessionManager::sessionCompleted);
        rig.manager->start(1);
        if (removalFails)
            rig.runner->failWith(1, "denied");
        rig.runner->answerAfter(50);
        rig.clockMs += 59000;
        rig.fire();
        QCOMPARE(completed.size(), 0);
        QTRY_VERIFY(!rig.manager->isBusy());
        QCOMPARE(completed.size(), removalFails ? 0 : 1);
        QCOMPARE(rig.manager->hasErrorMessage(), removalFails);
    }

    // A runner that answers late, as a password prompt does: the button's
    // busy state, clicks that do nothing, and a session that counts from the
    // block, not from the click.
    void lateAnswer_data() {
        QTest::addColumn<bool>("stopping");
        QTest::newRow("start") << false;
        QTest::newRow("stop, with a tick queued") << true;
    }
    void lateAnswer() {
        QFETCH(bool, stopping);
        using Run = FocusSessionManager::PendingRun;
        Rig rig(configBytes({"a.com"}, {}));
        if (stopping)
            rig.manager->start(5);
        rig.runner->answerAfter(100);
        if (stopping) {
            QVERIFY(QMetaObject::invokeMethod(rig.countdown(), "timeout"));
            rig.manager->stop();
        } else {
            rig.manager->start(5);
        }
        QCOMPARE(rig.manager->pendingRun(), stopping ? Run::Removal : Run::Block);
        rig.clockMs += 20000; // the prompt is open for 20 s
        rig.manager->start(10);
        rig.manager->stop();
        rig.log.clear();
        QTRY_VERIFY(!rig.manager->isBusy());
        QCOMPARE(rig.runner->commands().size(), stopping ? 2 : 1);
        if (stopping) {
            QCOMPARE(rig.log, (QStringList{"state=Idle", "remaining=0", "status=" + kStopped}));
            return;
        }
        QCOMPARE(rig.manager->remainingSeconds(), 300);
        QCOMPARE(rig.manager->sessionEnd(), kWallStart.addSecs(20 + 300));
        QCOMPARE(
            SessionRecordStore(rig.recordPath(), rig.dir.filePath("autostart.desktop"), "/bin/true")
                .load(kWallStart)
                ->end,
            kWallStart.addSecs(20 + 300));
        rig.fire();
        QCOMPARE(rig.manager->remainingSeconds(), 299);
    }

    // Each change of the one session state, with what the views read then:
    // "state isSessionActive isBusy". Steps: c leaves no section to remove,
    // l answers late, f fails the next runs, s starts, S stops, z runs the
    // countdown to zero.
    void transitions_data() {
        QTest::addColumn<QStringList>("websites");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("states");
        const QStringList web{"a.com"}, none;
        QTest::newRow("apps only, nothing to remove") << none << "cls" << QStringList{"Active 1 0"};
        QTest::newRow("websites, late answer")
            << web << "ls" << QStringList{"Starting 1 1", "Active 1 0"};
        QTest::newRow("failed start") << web << "lfs" << QStringList{"Starting 1 1", "Idle 0 0"};
        QTest::newRow("stop, late removal")
            << web << "slS" << QStringList{"Active 1 0", "Stopping 0 1", "Idle 0 0"};
        QTest::newRow("end at zero, removal fails")
            << web << "slfz" << QStringList{"Active 1 0", "Stopping 0 1", "Idle 0 0"};
    }
    void transitions() {
        QFETCH(QStringList, websites);
        QFETCH(QString, steps);
        QFETCH(QStringList, states);
        Rig rig(configBytes(websites, {"com.x"}));
        QSignalSpy completed(rig.manager.get(), &FocusSessionManager::sessionCompleted);
        QStringList seen;
        FocusSessionManager* m = rig.manager.get();
        QObject::connect(m, &FocusSessionManager::stateChanged, m, [&seen, m] {
            seen << QString("%1 %2 %3")
                        .arg(stateName(m->state()))
                        .arg(m->isSessionActive())
                        .arg(m->isBusy());
        });
        for (const QChar step : steps) {
            if (step == 'c')
                QVERIFY(writeAll(rig.hostsPath(), "127.0.0.1 localhost\n"));
            else if (step == 'l')
                rig.runner->answerAfter(30);
            else if (step == 'f')
                rig.runner->failWith(1, "denied");
            else if (step == 's')
                rig.manager->start(1);
            else if (step == 'S')
                rig.manager->stop();
            else if (step == 'z')
                for (int s = 0; s < 60; ++s)
                    rig.fire();
            QTRY_VERIFY(!rig.manager->isBusy());
        }
        QCOMPARE(seen, states);
        // The end is told only when the websites are free again.
        QCOMPARE(completed.size(), 0);
        QCOMPARE(rig.manager->hasErrorMessage(), steps.contains('f'));
    }

    // A notice is said once a run and never as an error; other lines are.
    void notices_data() {
        QTest::addColumn<QStringList>("outputs"); // a start's each
        QTest::addColumn<QStringList>("shown");   // the notice and the error after each
        QTest::newRow("a notice and a note")
            << QStringList{"notice: nft is missing.\nstill blocked"}
            << QStringList{"nft is missing.", "still blocked"};
        QTest::newRow("once a run") << QStringList{"notice: A", "notice: A", "notice: A\nnotice: B"}
                                    << QStringList{"A", kNone, "", kNone, "B", kNone};
    }
    void notices() {
        QFETCH(QStringList, outputs);
        QFETCH(QStringList, shown);
        Rig rig(configBytes({"a.com"}, {}));
        QStringList seen;
        for (const QString& output : outputs) {
            rig.runner->failWith(0, output.toUtf8());
            rig.manager->start(5);
            seen << rig.manager->notice() << rig.error();
        }
        QCOMPARE(seen, shown);
    }

    // Starting over a running session replaces it; never two countdowns or two
    // application blockers. A failing restart ends it.
    void startWhileActive() {
        Rig rig(configBytes({"a.com"}, {"com.x"}));
        rig.manager->start(1);
        rig.manager->start(2);
        QCOMPARE(rig.running(), QList<int>(3, 1));
        QCOMPARE(rig.manager->remainingSeconds(), 120);
        rig.fire();
        QCOMPARE(rig.manager->remainingSeconds(), 119);

        // The replaced session's block goes with it.
        rig.runner->failWith(1, "nope", false, 1);
        rig.manager->start(3);
        QVERIFY(!rig.manager->isSessionActive());
        QCOMPARE(rig.manager->statusMessage(), kEnded);
        QVERIFY(!rig.hosts().contains("# Tarnhollow:BEGIN"));
        QVERIFY(!QFile::exists(rig.recordPath()));
        QCOMPARE(rig.running(), QList<int>(3, 0));
    }

    void listEditing_data() {
        QTest::addColumn<QStringList>("storedWebsites");
        QTest::addColumn<QStringList>("storedApps");
        QTest::addColumn<QStringList>("edits"); // "+w text", "+a text", "-w entry", "-a entry"
        QTest::addColumn<QStringList>("websites");
        QTest::addColumn<QStringList>("apps");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("listSignals");

        const QString cafe = QString::fromUtf8("caf\u00e9.fr");
        const QString cafeDecomposed = QString::fromUtf8("cafe\u0301.fr");

        QTest::newRow("website trimmed, lower-cased, appended")
            << QStringList{"z.com"} << QStringList{} << QStringList{"+w  \tNews.EXAMPLE.com\n"}
            << QStringList{"z.com", "news.example.com"} << QStringList{} << true << 1;
        QTest::newRow("same entry whatever its case and composition")
            << QStringList{cafe} << QStringList{cafeDecomposed}
            << QStringList{"+w" + cafeDecomposed.toUpper(), "+a" + cafe.toUpper()}
            << QStringList{cafe} << QStringList{cafeDecomposed} << false << 0;
        QTest::newRow("white space only")
            << QStringList{} << QStringList{}
            << QStringList{QString::fromUtf8("+w \t\u2003\n"), "+a  ", "+w"} << QStringList{}
            << QStringList{} << false << 0;
        QTest::newRow("bundle id trimmed, case kept, other case refused")
            << QStringList{} << QStringList{"com.Apple.Safari"}
            << QStringList{"+a  org.Gnome.Maps\n", "+a com.apple.safari", "+a ORG.gnome.maps"}
            << QStringList{} << QStringList{"com.Apple.Safari", "org.Gnome.Maps"} << true << 1;
        QTest::newRow("removal ignores case, keeps order")
            << QStringList{"a.com", "B.com", "c.com", "b.COM"} << QStringList{}
            << QStringList{"-wb.com"} << QStringList{"a.com", "c.com"} << QStringList{} << true
            << 1;
        QTest::newRow("removing what is not there still saves, unannounced")
            << QStringList{"a.com"} << QStringList{"com.x"}
            << QStringList{"-wnothing.com", "-anothing"} << QStringList{"a.com"}
            << QStringList{"com.x"} << true << 0;
        QTest::newRow("loaded upper-case entries: lower form refused, removed by it")
            << QStringList{"News.COM", "b.com"} << QStringList{"Org.X"}
            << QStringList{"+wnews.com", "+aorg.x", "-wnews.com", "-aORG.x"} << QStringList{"b.com"}
            << QStringList{} << true << 2;
        QTest::newRow("loaded untrimmed and duplicate entries are kept")
            << QStringList{" a.com ", "a.com", "a.com"} << QStringList{}
            << QStringList{"+w a.com", "+w A.com "} << QStringList{" a.com ", "a.com", "a.com"}
            << QStringList{} << false << 0;
        QTest::newRow("removal compares the untrimmed entry")
            << QStringList{" a.com ", "a.com", "a.com"} << QStringList{} << QStringList{"-w A.COM "}
            << QStringList{"a.com", "a.com"} << QStringList{} << true << 1;
    }

    // Saved means both lists written in full right after the change; nothing
    // else writes the file.
    void listEditing() {
        QFETCH(QStringList, storedWebsites);
        QFETCH(QStringList, storedApps);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, websites);
        QFETCH(QStringList, apps);
        QFETCH(bool, saved);
        QFETCH(int, listSignals);

        Rig rig(configBytes(storedWebsites, storedApps));
        QVERIFY(QFile::remove(rig.configPath()));
        rig.log.clear();
        for (const QString& edit : edits) {
            const QString op = edit.left(2);
            const QString text = edit.mid(2);
            if (op == "+w")
                rig.manager->addWebsite(text);
            else if (op == "+a")
                rig.manager->addAppBundleId(text);
            else if (op == "-w")
                rig.manager->removeWebsite(text);
            else
                rig.manager->removeAppBundleId(text);
        }
        QCOMPARE(rig.manager->websites(), websites);
        QCOMPARE(rig.manager->appBundleIds(), apps);
        QCOMPARE(rig.log.filter(QRegularExpression("^(websites|apps)=")).size(), listSignals);
        QCOMPARE(QFileInfo::exists(rig.configPath()), saved);
        if (saved)
            QCOMPARE(readAll(rig.configPath()), configBytes(websites, apps));
    }

    void importWebsites_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("said"); // the status line, or the error line when nothing
        const QString none = "Added 0 websites; 0 already on the list; 0 skipped as not web "
                             "addresses.";
        QTest::newRow("list: listed, comments, junk")
            << "file" << QByteArray("b.com\n\n# c\nA.com\r\nnot a name\nc.com # x\nyoutube") << 2
            << "Added 2 websites; 1 already on the list; 2 skipped as not web addresses.";
        QTest::newRow("hosts: our section, addresses and localhost forms skipped")
            << "file"
            << QByteArray("0.0.0.0 0.0.0.0\n127.0.0.1 localhost\n10.0.0.1 nas.lan\n"
                          "0.0.0.0 x.com 93.184.216.34 ip6-localhost\n# Tarnhollow:BEGIN\n"
                          "127.0.0.1 old.com\n# Tarnhollow:END\n127.0.0.1\tz.com")
            << 2 << "Added 2 websites; 0 already on the list; 5 skipped as not web addresses.";
        QTest::newRow("UTF-16 with byte-order mark")
            << "file" << QByteArray("\xff\xfex\0.\0c\0o\0m\0\n\0y\0.\0c\0o\0m\0", 22) << 2
            << "Added 2 websites; 0 already on the list; 0 skipped as not web addresses.";
        QTest::newRow("Latin-1") << "file"
                                 << QByteArray("b\xfc"
                                               "cher.de\n")
                                 << 1
                                 << "Added 1 website; 0 already on the list; 0 skipped as not "
                                    "web addresses.";
        QTest::newRow("binary") << "file" << QByteArray("a.com\nb\x01\x02\0.com\n", 14) << 0
                                << "list.txt could not be imported: it is not a text file";
        QTest::newRow("FIFO") << "fifo" << QByteArray() << 0
                              << "list.txt could not be imported: it is not a regular file";
        QTest::newRow("link to a FIFO")
            << "link" << QByteArray() << 0
            << "list.txt could not be imported: it is not a regular file";
        QTest::newRow("more than a session blocks")
            << "full" << QByteArray() << 99999
            << "Import stopped at the limit. The list is full: one session blocks at most 100000 "
               "websites. Added 99999 websites; 1 already on the list; 0 skipped as not web "
               "addresses.";
        QTest::newRow("one long line")
            << "long" << QByteArray() << 0 << QString(none).replace("0 skipped", "1 skipped");
    }
    // Whatever the file, the window's thread never waits on it, nothing is
    // half added, and the list never outgrows a session.
    void importWebsites() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, file);
        QFETCH(int, added);
        QFETCH(QString, said);
        Rig rig(configBytes({"A.com"}, {}));
        const QString path = rig.dir.filePath("list.txt");
        if (kind == "file") {
            QVERIFY(writeAll(path, file));
        } else if (kind == "full") {
            file = "a.com\n";
            for (int i = 0; i < 100010; ++i)
                file += "0.0.0.0 s" + QByteArray::number(i) + ".com\n";
            QVERIFY(writeAll(path, file));
        } else if (kind == "long") {
            QVERIFY(writeAll(path, "0.0.0.0 " + QByteArray(20 << 20, 'a') + ".com\n"));
        } else {
            const QByteArray fifo = QFile::encodeName(rig.dir.filePath("fifo"));
            QCOMPARE(::mkfifo(kind == "fifo" ? QFile::encodeName(path) : fifo, 0600), 0);
            if (kind == "link")
                QVERIFY(QFile::link(fifo, path));
        }
        rig.manager->importWebsites(path);
        QVERIFY(rig.manager->isImporting());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.manager->isImporting(), 20000);
        QCOMPARE(rig.manager->websites().size(), 1 + added);
        // The window hears of the new entries once.
        QCOMPARE(rig.log.filter("websites=").size(), added > 0 ? 1 : 0);
        QCOMPARE(rig.manager->hasErrorMessage() ? rig.error() : rig.manager->statusMessage(), said);
        QCOMPARE(readAll(rig.configPath()), configBytes(rig.manager->websites(), {}));
    }

    // Removing many is one save, and undo brings back the list it changed.
    void removeAndUndo() {
        Rig rig(configBytes({"a.com", "b.com", "c.com", "d.com"}, {}));
        rig.manager->removeEntries(BlockList::Websites, {"B.com", "d.com"});
        QCOMPARE(rig.manager->websites(), QStringList({"a.com", "c.com"}));
        rig.manager->addWebsite("e.com");
        rig.manager->undoListChange();
        QCOMPARE(rig.manager->websites(),
                 QStringList({"a.com", "c.com", "e.com", "b.com", "d.com"}));
        QCOMPARE(readAll(rig.configPath()), configBytes(rig.manager->websites(), {}));
        QVERIFY(!rig.manager->canUndo());
    }

    // Edits are saved but do not reach the running session.
    void editingDuringSession() {
        Rig rig(configBytes({"a.com"}, {"com.x"}));
        rig.manager->start(5);
        rig.fire();
        const QByteArray hosts = rig.hosts();
        rig.log.clear();

        rig.manager->addAppBundleId("com.y");
        rig.manager->removeAppBundleId("com.x");
        rig.manager->removeWebsite("a.com");
        rig.manager->addWebsite("b.com");
        QCOMPARE(rig.log.filter(QRegularExpression("^(websites|apps)=")),
                 (QStringList{"apps=com.x,com.y", "apps=com.y", "websites=", "websites=b.com"}));
        QCOMPARE(readAll(rig.configPath()), configBytes({"b.com"}, {"com.y"}));

        rig.workspace->launch(FakeWorkspace::app(1, "com.y"));
        rig.workspace->launch(FakeWorkspace::app(2, "com.x"));
        QCOMPARE(rig.workspace->terminatedPids(), QList<qint64>{2});
        QCOMPARE(rig.hosts(), hosts);
        QVERIFY(rig.manager->isSessionActive());
        QCOMPARE(rig.manager->remainingSeconds(), 299);

        // Emptying both lists does not end the session.
        rig.manager->removeWebsite("b.com");
        rig.manager->removeAppBundleId("com.y");
        QVERIFY(rig.manager->isSessionActive());
        rig.manager->stop();
    }

    void launch_data() {
        QTest::addColumn<int>("recordEnds"); // minutes from now; 0: none, 999: unreadable
        // none, own, other (another user's), own in 10 (whatever the record says)
        QTest::addColumn<QString>("section");
        QTest::addColumn<bool>("removalFails");
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("sectionAfter");
        QTest::addColumn<QString>("error");
        const QString stillBlocked = "Websites from an earlier session are still blocked: "
                                     "Failed to write /etc/hosts: denied";
        QTest::newRow("no record") << 0 << "none" << false << false << false << kNone;
        QTest::newRow("running") << 10 << "own" << false << true << true << kNone;
        QTest::newRow("running, block missing") << 10 << "none" << false << true << true << kNone;
        QTest::newRow("expired") << -1 << "own" << false << false << false << kNone;
        QTest::newRow("block without record") << 0 << "own" << false << false << false << kNone;
        QTest::newRow("another user's block") << 0 << "other" << false << false << true << kNone;
        QTest::newRow("unreadable record") << 999 << "none" << false << false << false << kNone;
        QTest::newRow("record two hours ahead")
            << 120 << "none" << false << false << false << kNone;
        QTest::newRow("removal fails") << -1 << "own" << true << false << true << stillBlocked;
        // The block's own end line takes the session up.
        QTest::newRow("record missing, own block running")
            << 0 << "own in 10" << false << true << true << kNone;
        QTest::newRow("record damaged, own block running")
            << 999 << "own in 10" << false << true << true << kNone;
    }
    // A launch takes up a running session, and removes what an ended one
    // left behind; another user's block is not ours to touch.
    void launch() {
        QFETCH(int, recordEnds);
        QFETCH(QString, section);
        QFETCH(bool, removalFails);
        QFETCH(bool, active);
        QFETCH(bool, sectionAfter);
        QFETCH(QString, error);
        const QDateTime end = kWallStart.addSecs(recordEnds * 60);
        Rig rig(configBytes({"a.com"}, {"com.y"}), 1h, [&](Rig& r) {
            QDir().mkpath(r.dir.filePath("state"));
            if (recordEnds == 999)
                QVERIFY(writeAll(r.recordPath(), "{\"end\":"));
            else if (recordEnds != 0)
                QVERIFY(SessionRecordStore(r.recordPath(), r.dir.filePath("autostart.desktop"),
                                           "/bin/true")
                            .save({end, {"a.com"}, {"com.x"}}));
            const uint uid = ::getuid() + (section == "other" ? 1 : 0);
            if (section != "none")
                QVERIFY(writeAll(r.hostsPath(),
                                 "127.0.0.1 localhost\n\n# Tarnhollow:BEGIN\n# Tarnhollow:owner " +
                                     QByteArray::number(uid) + " until " +
                                     (section == "own in 10" ? kWallStart.addSecs(600) : end)
                                         .toString(Qt::ISODate)
                                         .toLatin1() +
                                     "\n127.0.0.1 a.com\n# Tarnhollow:END\n"));
            else
                QVERIFY(writeAll(r.hostsPath(), "127.0.0.1 localhost\n"));
            if (removalFails)
                r.runner->failWith(1, "denied");
        });
        QCOMPARE(rig.manager->isSessionActive(), active);
        QCOMPARE(rig.manager->statusMessage(), active ? kActive : QString("Ready"));
        QCOMPARE(rig.error(), error);
        QCOMPARE(rig.hosts().contains("# Tarnhollow:BEGIN"), sectionAfter);
        QCOMPARE(QFile::exists(rig.recordPath()), active || removalFails);
        QCOMPARE(QFile::exists(rig.dir.filePath("autostart.desktop")), active || removalFails);
        if (active) {
            QCOMPARE(rig.manager->remainingSeconds(), 600);
            // The record's applications, not the current list, unless the
            // record is lost.
            rig.workspace->launch(FakeWorkspace::app(1, "com.x"));
            rig.workspace->launch(FakeWorkspace::app(2, "com.y"));
            QCOMPARE(rig.workspace->terminatedPids(), QList<qint64>{recordEnds == 10 ? 1 : 2});
            rig.fire();
            QCOMPARE(rig.manager->remainingSeconds(), 599);
        }
    }

    // A session a moment from its end is taken up with a second left, so the
    // next tick still ends it and removes the block.
    void launchUnderHalfASecondBeforeTheEnd() {
        Rig rig(configBytes({"a.com"}, {}), 1h, [](Rig& r) {
            QDir().mkpath(r.dir.filePath("state"));
            QVERIFY(
                SessionRecordStore(r.recordPath(), r.dir.filePath("autostart.desktop"), "/bin/true")
                    .save({kWallStart.addSecs(1), {"a.com"}, {}}));
            r.clockMs = 700;
        });
        QVERIFY(rig.manager->isSessionActive());
        QCOMPARE(rig.manager->remainingSeconds(), 1);
        rig.fire();
        QVERIFY(!rig.manager->isSessionActive());
        QVERIFY(!QFile::exists(rig.recordPath()));
    }

    // Listed applications that start without a launch event are still asked,
    // again and again, by the session's sweep.
    void sessionSweepsRepeatedly() {
        Rig rig(configBytes({}, {"com.x"}), 1h, [](Rig& r) { r.sweep = 5ms; });
        rig.manager->start(5);
        for (qint64 pid : {7, 8}) {
            rig.workspace->setRunningApplications({FakeWorkspace::app(pid, "com.x")});
            QTRY_COMPARE(rig.workspace->terminateCount(pid), 1);
        }
    }

    // A jump of the session clock, as after a suspend, ends the session at
    // once.
    void clockJump() {
        Rig rig(configBytes({"a.com"}, {}));
        rig.manager->start(5);
        rig.clockMs += 10 * 60 * 1000;
        rig.fire();
        QVERIFY(!rig.manager->isSessionActive());
        QCOMPARE(rig.manager->statusMessage(), kStopped);
        QVERIFY(!rig.hosts().contains("127.0.0.1 a.com"));
    }
};

QTEST_GUILESS_MAIN(TestFocusSessionManager)
#include "tst_FocusSessionManager.moc"
