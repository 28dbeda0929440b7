#include "WorkspaceFixture.h"

#include "services/AppBlocker.h"

#include <QtTest>

using namespace std::chrono_literals;

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
        fx().writeApplicationEntry(id, "tarnhollow-never-installed", keys);
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

    void launchedAppAskedQuickly() {
        const QString id = listedId("Launched");
        const auto workspace = fx().makeWorkspace();
        // Listed with other spacing and case: matching ignores both.
        AppBlocker blocker({" " + id.toUpper() + "\n"}, *workspace);
        blocker.start();
        QTest::qWait(50);
        const double launchedAt = steadyNowMs();
        const FakeApp app = fx().startGioLaunched(id, {}, false);
        QVERIFY(app.waitForEvent("sigterm", 1, 2000));
        const double latency = app.eventTimesMs("sigterm").first() - launchedAt;
        qInfo("launch to quit request: %.1f ms", latency);
        QVERIFY2(latency <= 250, qPrintable(QString::number(latency)));
        blocker.stop();
    }

    void decliningAppAskedEverySweep() {
        if (!m_noBus.isEmpty())
            QSKIP(qPrintable(m_noBus));
        const QString id = listedId("Declining");
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
        const QString id = listedId("Background", "NoDisplay=true");
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
        const QString id = listedId("Stopped");
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
        const QString listed = listedId("Listed");
        const QString unlisted = listedId("Unlisted");
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
