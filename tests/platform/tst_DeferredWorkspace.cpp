#include "fakes/FakeWorkspace.h"
#include "platform/DeferredWorkspace.h"

#include <QtTest>

class DeferredWorkspaceTest : public QObject {
    Q_OBJECT

private slots:
    void createdOnceAtFirstUse_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("creates");
        QTest::newRow("running applications") << 0 << true;
        QTest::newRow("terminate") << 1 << true;
        QTest::newRow("launch observer") << 2 << true;
        QTest::newRow("removing an observer first") << 3 << false;
    }

    void createdOnceAtFirstUse() {
        QFETCH(int, operation);
        QFETCH(bool, creates);
        const RunningApplication chat = FakeWorkspace::app(7, "org.example.Chat");
        int created = 0;
        FakeWorkspace* fake = nullptr;
        DeferredWorkspace workspace([&] {
            ++created;
            auto real = std::make_unique<FakeWorkspace>();
            real->setRunningApplications({chat});
            fake = real.get();
            return real;
        });
        for (int round = 0; round < 2; ++round) {
            switch (operation) {
            case 0:
                QCOMPARE(workspace.runningApplications().size(), 1);
                break;
            case 1:
                QVERIFY(workspace.terminate(chat));
                break;
            case 2:
                workspace.addLaunchObserver([](const RunningApplication&) {});
                break;
            default:
                workspace.removeLaunchObserver(1);
                break;
            }
        }
        QCOMPARE(created, creates ? 1 : 0);
        if (operation == 2) {
            QCOMPARE(fake->observerCount(), 2);
        }
    }
};

QTEST_GUILESS_MAIN(DeferredWorkspaceTest)
#include "tst_DeferredWorkspace.moc"
