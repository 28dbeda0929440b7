#include "WorkspaceFixture.h"

#include "services/AppBlocker.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QString never = QStringLiteral("tarnhollow-never-installed");

} // namespace

// AppBlocker against the real Linux workspace and real helper processes.
class AppBlockerLinuxTest : public QObject {
    Q_OBJECT

private:
    WorkspaceFixture* m_fixture = nullptr;
    QString m_noDisplay;
    QString m_noBus;

    WorkspaceFixture& fx() { return *m_fixture; }

    QString listedId(const QString& tag, const QString& keys = QString()) {
        const QString id = WorkspaceFixture::uniqueId(tag);
        fx().writeApplicationEntry(id, never, keys);
        return id;
    }

private slots:
    void initTestCase() {
        m_fixture = new WorkspaceFixture;
        m_noDisplay = fx().startDisplay();
        m_noBus = fx().startBus();
    }
    void cleanup() { fx().stopApps(); }
    void cleanupTestCase() {
        delete m_fixture;
        m_fixture = nullptr;
    }

    void runningAppAskedOnceByStart_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("event");
        QTest::newRow("quit action")
            << QStringList{"--bus-name", "@ID@", "--decline"} << "quit-action-declined";
        QTest::newRow("window") << QStringList{"--window", "--ignore-delete"}
                                << "wm-delete-ignored";
        QTest::newRow("SIGTERM") << QStringList{"--ignore-term"} << "sigterm-ignored";
    }
    void runningAppAskedOnceByStart() {
        QFETCH(QStringList, args);
        QFETCH(QString, event);
        if (args.contains("--window") && !m_noDisplay.isEmpty())
            QSKIP(qPrintable(m_noDisplay));
        if (args.contains("--bus-name") && !m_noBus.isEmpty())
            QSKIP(qPrintable(m_noBus));
        const QString id = listedId(QStringLiteral("Running"));
        args.replaceInStrings(QStringLiteral("@ID@"), id);
        const FakeApp app = fx().startGioLaunched(id, args);
        QVERIFY(app.pid > 0);

        const auto workspace = fx().makeWorkspace();
        // Listed with other spacing and case: matching ignores both.
        AppBlocker blocker({QStringLiteral("  ") + id.toUpper() + QStringLiteral("\n")},
                           *workspace);
        const double before = steadyNowMs();
        blocker.start();
        const double returned = steadyNowMs();
        QVERIFY(app.waitForEvent(event));
        const double askedAt = app.eventTimesMs(event).first();
        QVERIFY(askedAt > before);
        QVERIFY2(askedAt - returned < 100, qPrintable(QString::number(askedAt - returned)));
        QTest::qWait(400); // launches and the first 2 s sweep add nothing
        QCOMPARE(app.events().count(event), 1);
        blocker.stop();
    }

    void launchedAppAskedQuickly_data() {
        QTest::addColumn<bool>("byExecutable");
        QTest::newRow("launched with its desktop file") << false;
        QTest::newRow("matched by executable") << true;
    }
    void launchedAppAskedQuickly() {
        QFETCH(bool, byExecutable);
        const QString id = WorkspaceFixture::uniqueId(QStringLiteral("Launched"));
        const QString exec = byExecutable ? fx().copyOfHelper(QStringLiteral("l-") + id) : never;
        fx().writeApplicationEntry(id, exec);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace);
        blocker.start();
        QTest::qWait(50);
        const double launchedAt = steadyNowMs();
        const FakeApp app = byExecutable ? fx().start(id, {}, {}, exec, false)
                                         : fx().startGioLaunched(id, {}, false);
        QVERIFY(app.waitForEvent("sigterm", 1, 2000));
        const double latency = app.eventTimesMs("sigterm").first() - launchedAt;
        qInfo("launch to quit request: %.1f ms", latency);
        QVERIFY2(latency <= 250, qPrintable(QString::number(latency)));
        blocker.stop();
    }

    void decliningAppAskedEverySweep() {
        if (!m_noBus.isEmpty())
            QSKIP(qPrintable(m_noBus));
        const QString id = listedId(QStringLiteral("Declining"));
        const FakeApp app = fx().startGioLaunched(id, {"--bus-name", id, "--decline"});
        QVERIFY(app.pid > 0);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace); // the real 2 s sweep
        blocker.start();
        QVERIFY(app.waitForEvent("quit-action-declined", 2, 3000));
        const QList<double> asked = app.eventTimesMs("quit-action-declined");
        const double gap = asked[1] - asked[0];
        QVERIFY2(gap > 1800 && gap < 2400, qPrintable(QString::number(gap)));
        // Asked the same polite way again: never anything stronger.
        QVERIFY(!app.events().contains("sigterm"));
        blocker.stop();
    }

    void backgroundOnlyLeftToSweeps() {
        const QString id = listedId(QStringLiteral("Background"), QStringLiteral("NoDisplay=true"));
        const FakeApp running = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(running.pid > 0);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace, 150ms);
        blocker.start();
        const FakeApp launched = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(launched.pid > 0);
        QTest::qWait(600);
        QCOMPARE(running.events(), QStringList{"ready"});
        // Its launch was reported, and that alone asks it.
        QCOMPARE(launched.events().count("sigterm-ignored"), 1);
        blocker.stop();
    }

    void nothingAskedAfterStop() {
        const QString id = listedId(QStringLiteral("Stopped"));
        const FakeApp running = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(running.pid > 0);
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({id}, *workspace, 150ms);
        blocker.start();
        QVERIFY(running.waitForEvent("sigterm-ignored"));
        blocker.stop();
        const FakeApp launched = fx().startGioLaunched(id, {"--ignore-term"});
        QVERIFY(launched.pid > 0);
        QTest::qWait(500);
        QCOMPARE(running.events().count("sigterm-ignored"), 1);
        QCOMPARE(launched.events(), QStringList{"ready"});
    }

    void unlistedAppsNeverTouched() {
        const QString listed = listedId(QStringLiteral("Listed"));
        const QString unlisted = listedId(QStringLiteral("Unlisted"));
        QStringList args{"--ignore-term"};
        if (m_noDisplay.isEmpty())
            args << "--window"
                 << "--ignore-delete";
        const FakeApp before = fx().startGioLaunched(unlisted, args);
        const FakeApp control = fx().startGioLaunched(listed, {"--ignore-term"});
        const auto workspace = fx().makeWorkspace();
        AppBlocker blocker({listed}, *workspace, 150ms);
        blocker.start();
        const FakeApp during = fx().startGioLaunched(unlisted, args);
        QTest::qWait(600);
        blocker.stop();
        QVERIFY(control.events().count("sigterm-ignored") >= 3);
        QCOMPARE(before.events(), QStringList{"ready"});
        QCOMPARE(during.events(), QStringList{"ready"});
    }
};

QTEST_GUILESS_MAIN(AppBlockerLinuxTest)
#include "tst_AppBlockerLinux.moc"
