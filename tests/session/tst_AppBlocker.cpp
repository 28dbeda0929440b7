#include "fakes/FakeWorkspace.h"
#include "services/AppBlocker.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Policy = ActivationPolicy;

Q_DECLARE_METATYPE(RunningApplication)
Q_DECLARE_METATYPE(QList<RunningApplication>)

namespace {

RunningApplication app(qint64 pid, std::optional<QString> id, Policy policy = Policy::Regular) {
    return FakeWorkspace::app(pid, std::move(id), policy);
}

} // namespace

class TestAppBlocker : public QObject {
    Q_OBJECT

private slots:
    void sweepAtStart_data() {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QList<RunningApplication>>("running");
        QTest::addColumn<QList<qint64>>("asked");

        QTest::newRow("listed and running")
            << QStringList{"com.x"} << QList{app(1, "com.x"), app(2, "com.y")} << QList<qint64>{1};
        QTest::newRow("entry trimmed, case ignored on both sides")
            << QStringList{" \tCom.Example.APP\n"} << QList{app(1, "com.EXAMPLE.app")}
            << QList<qint64>{1};
        QTest::newRow("identifier itself is not trimmed")
            << QStringList{"com.x"} << QList{app(1, " com.x")} << QList<qint64>{};
        QTest::newRow("no identifier")
            << QStringList{"com.x"} << QList{app(1, std::nullopt)} << QList<qint64>{};
        QTest::newRow("blank entry matches no empty identifier")
            << QStringList{"  "} << QList{app(1, QString("")), app(2, std::nullopt)}
            << QList<qint64>{};
        QTest::newRow("background-only skipped, accessory asked")
            << QStringList{"com.x"}
            << QList{app(1, "com.x", Policy::Prohibited), app(2, "com.x", Policy::Accessory),
                     app(3, "com.x")}
            << QList<qint64>{2, 3};
        QTest::newRow("no prefix or pattern matching")
            << QStringList{"com.x", "com.*"} << QList{app(1, "com.x.helper"), app(2, "com.xy")}
            << QList<qint64>{};
        QTest::newRow("never ourselves, by pid or ID")
            << QStringList{"com.x", "ORG.tarnhollow.tarnhollow"}
            << QList{app(QCoreApplication::applicationPid(), "com.x"),
                     app(2, "org.tarnhollow.Tarnhollow"), app(3, "com.x")}
            << QList<qint64>{3};
        QTest::newRow("duplicates collapse, order of the workspace")
            << QStringList{"com.b", "COM.B", "com.a"} << QList{app(5, "com.a"), app(3, "com.b")}
            << QList<qint64>{5, 3};
    }

    // Listed applications already running are asked before start returns.
    void sweepAtStart() {
        QFETCH(QStringList, list);
        QFETCH(QList<RunningApplication>, running);
        QFETCH(QList<qint64>, asked);
        FakeWorkspace workspace;
        workspace.setRunningApplications(running);
        AppBlocker blocker(list, workspace);
        QVERIFY(workspace.terminatedPids().isEmpty());
        blocker.start();
        QCOMPARE(workspace.terminatedPids(), asked);
        QCOMPARE(workspace.observerCount(), 1);
        blocker.stop();
    }

    // Unlike a sweep, a reported launch is asked whatever its policy.
    void launchAskedWhateverPolicy() {
        FakeWorkspace workspace;
        AppBlocker blocker({"com.x"}, workspace);
        blocker.start();
        workspace.launch(app(1, "com.x", Policy::Prohibited));
        QCOMPARE(workspace.terminatedPids(), QList<qint64>{1});
        blocker.stop();
    }

    // A blocker dropped while running takes its handler and sweeps with it.
    void droppedBlockerLeavesNothingBehind() {
        FakeWorkspace workspace;
        auto blocker = std::make_unique<AppBlocker>(QStringList{"com.x"}, workspace, 5ms);
        blocker->start();
        blocker.reset();
        QCOMPARE(workspace.observerCount(), 0);
        workspace.launch(app(1, "com.x"));
        QTest::qWait(20);
        QVERIFY(workspace.terminatedPids().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAppBlocker)
#include "tst_AppBlocker.moc"
