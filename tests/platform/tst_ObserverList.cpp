#include "platform/ObserverList.h"

#include <QtTest>

#include <functional>

class ObserverListTest : public QObject {
    Q_OBJECT

private slots:
    // The first observer changes the list while it runs; who is called?
    void changesWhileNotifying_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("firstRound");
        QTest::addColumn<QString>("secondRound");
        QTest::newRow("none") << ""
                              << "abc"
                              << "abc";
        QTest::newRow("removes a later one") << "remove b"
                                             << "ac"
                                             << "ac";
        QTest::newRow("removes itself") << "remove a"
                                        << "abc"
                                        << "bc";
        QTest::newRow("adds one") << "add d"
                                  << "abc"
                                  << "abcd";
    }
    void changesWhileNotifying() {
        QFETCH(QString, change);
        QFETCH(QString, firstRound);
        QFETCH(QString, secondRound);
        using Observer = std::function<void(QString&)>;
        ObserverList<Observer> list;
        QHash<QChar, ObserverList<Observer>::Token> tokens;
        bool changed = false;
        const auto named = [](QChar name) { return [name](QString& seen) { seen += name; }; };
        // Reads its capture after the change: had removing itself destroyed
        // the running observer, the name would be gone.
        tokens['a'] = list.add([&, name = QString("a")](QString& seen) {
            if (!std::exchange(changed, true)) {
                if (change.startsWith("remove"))
                    list.remove(tokens[change.back()]);
                else if (change.startsWith("add"))
                    list.add(named(change.back()));
            }
            seen += name;
        });
        tokens['b'] = list.add(named('b'));
        tokens['c'] = list.add(named('c'));
        for (const QString& expected : {firstRound, secondRound}) {
            QString seen;
            list.notify(seen);
            QCOMPARE(seen, expected);
        }
        QVERIFY(!list.remove(tokens['a'] + 100));
    }
};

QTEST_GUILESS_MAIN(ObserverListTest)
#include "tst_ObserverList.moc"
