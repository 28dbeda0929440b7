#include "fakes/FakeWorkspace.h"
#include "ui/DeferredWorkspace.h"

#include <QtTest>

class DeferredWorkspaceTest : public QObject {
    Q_OBJECT

private slots:
    void createdOnceAtFirstUse_data();
    void createdOnceAtFirstUse();
    void removingBeforeFirstUseCreatesNothing();
    void missingPlatformWorkspaceMeansNothingRuns();
};

void DeferredWorkspaceTest::createdOnceAtFirstUse_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("running applications") << 0;
    QTest::newRow("terminate") << 1;
    QTest::newRow("launch observer") << 2;
}

void DeferredWorkspaceTest::createdOnceAtFirstUse() {
    QFETCH(int, operation);
    int created = 0;
    FakeWorkspace* fake = nullptr;
    DeferredWorkspace workspace([&] {
        ++created;
        auto real = std::make_unique<FakeWorkspace>();
        real->setRunningApplications({FakeWorkspace::app(7, QStringLiteral("org.example.Chat"))});
        fake = real.get();
        return real;
    });
    QCOMPARE(created, 0);
    const RunningApplication chat = FakeWorkspace::app(7, QStringLiteral("org.example.Chat"));
    for (int round = 0; round < 2; ++round) {
        switch (operation) {
        case 0:
            QCOMPARE(workspace.runningApplications().size(), 1);
            break;
        case 1:
            QVERIFY(workspace.terminate(chat));
            break;
        default:
            workspace.removeLaunchObserver(workspace.addLaunchObserver([](auto&) {}));
            break;
        }
    }
    QCOMPARE(created, 1);
    QVERIFY(workspace.isCreated());
    if (operation == 1) {
        QCOMPARE(fake->terminateRequests().size(), 2);
    }
    if (operation == 2) {
        QCOMPARE(fake->observerCount(), 0);
    }
}

void DeferredWorkspaceTest::removingBeforeFirstUseCreatesNothing() {
    int created = 0;
    DeferredWorkspace workspace([&] {
        ++created;
        return std::make_unique<FakeWorkspace>();
    });
    workspace.removeLaunchObserver(1);
    QCOMPARE(created, 0);
}

void DeferredWorkspaceTest::missingPlatformWorkspaceMeansNothingRuns() {
    DeferredWorkspace workspace([] { return std::unique_ptr<Workspace>(); });
    QVERIFY(workspace.runningApplications().isEmpty());
    QVERIFY(!workspace.terminate(FakeWorkspace::app(7, QStringLiteral("org.example.Chat"))));
}

QTEST_GUILESS_MAIN(DeferredWorkspaceTest)
#include "tst_DeferredWorkspace.moc"
