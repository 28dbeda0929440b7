// The root helper's rules as plain functions: who the caller is, what a
// request may hold, which sections a caller may remove or is stopped by, and
// when a block ends. No root needed.
#include "helper/BlockRules.h"
#include "helper/Request.h"
#include "helper/Waiter.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QDateTime kNow = QDateTime::fromString("2026-12-08T12:00:00.250Z", Qt::ISODateWithMs);

// A section of `uid` ending `minutes` from kNow.
QByteArray section(uint uid, int minutes) {
    return HostsText::sectionText({"a.test"}, kNow, uid, kNow.addSecs(minutes * 60));
}

} // namespace

class BlockRulesTest : public QObject {
    Q_OBJECT

private slots:
    void callerUid_data() {
        QTest::addColumn<uint>("realUid");
        QTest::addColumn<QByteArray>("pkexecUid"); // null: unset
        QTest::addColumn<uint>("expected");
        const uint nobody = uint(uid_t(-1));
        QTest::newRow("root itself") << 0u << QByteArray() << 0u;
        QTest::newRow("through pkexec") << 0u << QByteArray("1000") << 1000u;
        QTest::newRow("a user sets it") << 1000u << QByteArray("0") << 1000u;
        QTest::newRow("not a number") << 0u << QByteArray("abc") << nobody;
        QTest::newRow("empty") << 0u << QByteArray("") << nobody;
        QTest::newRow("signed") << 0u << QByteArray("+0") << nobody;
        QTest::newRow("trailing text") << 0u << QByteArray("1000x") << nobody;
    }
    void callerUid() {
        QFETCH(uint, realUid);
        QFETCH(QByteArray, pkexecUid);
        QFETCH(uint, expected);
        QCOMPARE(uint(BlockRules::callerUid(realUid,
                                            pkexecUid.isNull() ? nullptr : pkexecUid.constData())),
                 expected);
    }

    void request_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("seconds"); // 0: refused
        QTest::newRow("shortest") << QByteArray("1\na.test\n") << 1;
        QTest::newRow("an hour") << QByteArray("3600\na.test\n") << 3600;
        QTest::newRow("past an hour") << QByteArray("3601\na.test\n") << 0;
        QTest::newRow("zero") << QByteArray("0\na.test\n") << 0;
        QTest::newRow("huge") << QByteArray("9999999999\na.test\n") << 0;
        QTest::newRow("leading zero") << QByteArray("060\na.test\n") << 0;
        QTest::newRow("signed") << QByteArray("+60\na.test\n") << 0;
        QTest::newRow("blank around") << QByteArray(" 60\na.test\n") << 0;
        QTest::newRow("cut short") << QByteArray("60\na.test") << 0;
        QTest::newRow("upper case") << QByteArray("60\nA.test\n") << 0;
        QTest::newRow("localhost") << QByteArray("60\nlocalhost\n") << 0;
        QTest::newRow("trailing dot") << QByteArray("60\na.test.\n") << 0;
        QTest::newRow("two names") << QByteArray("60\na.test\nb-c.d_e\n") << 60;
    }
    void request() {
        QFETCH(QByteArray, input);
        QFETCH(int, seconds);
        const Request::Parsed parsed = Request::parse(input);
        QCOMPARE(parsed.ok() ? int(parsed.value().length.count()) : 0, seconds);
    }

    // What a caller removes, keeps, and is stopped by.
    void split_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("caller");
        QTest::addColumn<int>("removable");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("stoppedBy"); // "", "owner" or "unowned"
        const QByteArray unowned = "# Tarnhollow:BEGIN\n127.0.0.1 a.test\n# Tarnhollow:END\n";
        QTest::newRow("own") << section(1000, 5) << 1000u << 1 << 0 << "";
        QTest::newRow("another's running") << section(1001, 5) << 1000u << 0 << 1 << "owner";
        QTest::newRow("another's ended") << section(1001, -1) << 1000u << 1 << 0 << "";
        QTest::newRow("root, another's") << section(1001, 5) << 0u << 1 << 0 << "";
        QTest::newRow("no owner") << unowned << 1000u << 0 << 1 << "unowned";
        QTest::newRow("no owner, root") << unowned << 0u << 1 << 0 << "";
        QTest::newRow("lone end") << QByteArray("# Tarnhollow:END\n") << 1000u << 0 << 1 << "";
        QTest::newRow("lone begin") << QByteArray("# Tarnhollow:BEGIN\n") << 1000u << 0 << 1 << "";
        QTest::newRow("lone end, root") << QByteArray("# Tarnhollow:END\n") << 0u << 1 << 0 << "";
        QTest::newRow("own and another's")
            << section(1000, 5) + section(1001, 5) << 1000u << 1 << 1 << "owner";
    }
    void split() {
        QFETCH(QByteArray, text);
        QFETCH(uint, caller);
        QFETCH(int, removable);
        QFETCH(int, kept);
        QFETCH(QString, stoppedBy);
        const BlockRules::Split parts = BlockRules::split(text, caller, kNow);
        QCOMPARE(parts.removable.size(), removable);
        QCOMPARE(parts.kept.size(), kept);
        const auto blocking = BlockRules::blockingSection(parts);
        QCOMPARE(!blocking ? "" : blocking->owner ? "owner" : "unowned", stoppedBy);
    }

    // An administrator's removal takes what has no owner, and only that; at
    // boot, only what has ended goes.
    void unownedAndBoot() {
        // 1000's ended this very second.
        const QByteArray text =
            section(1000, 0) + "# Tarnhollow:END\n" + section(1001, 5) +
            "# Tarnhollow:BEGIN\n127.0.0.1 b.test\n# Tarnhollow:END\n" +
            "# Tarnhollow:BEGIN\n# Tarnhollow:owner 1002 until 2099-01-01T00:00:00Z\n";
        QCOMPARE(BlockRules::unowned(text).size(), 3);
        // At the very millisecond of its end, it has ended for everyone.
        const QDateTime atEnd = kNow.addMSecs(-250);
        QCOMPARE(BlockRules::byEnd(text, atEnd).removable.size(), 1);
        QCOMPARE(BlockRules::split(text, 1001, atEnd).removable.size(), 2);
        const BlockRules::Split atBoot = BlockRules::byEnd(text, kNow);
        QCOMPARE(atBoot.removable.size(), 1);
        QCOMPARE(atBoot.removable[0].owner->uid, 1000u);
        QCOMPARE(atBoot.kept.size(), 1);
        QCOMPARE(atBoot.kept[0].owner->uid, 1001u);
    }

    // The browsers' list: each name once, a www. form only beside its own name.
    void namesIn() {
        const QByteArray text =
            section(1000, 5) + HostsText::sectionText({"b.test", "www.c.test"}, kNow, 1001, kNow);
        const auto sections =
            HostsText::blockSections(text, "# Tarnhollow:BEGIN", "# Tarnhollow:END");
        QCOMPARE(BlockRules::namesIn(text, sections).text(), "a.test\nb.test\nwww.c.test\n");
    }

    // The end is never before now plus the length, and a whole second.
    void end_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("until");
        QTest::newRow("part second") << "12:00:00.250"
                                     << "12:01:01.000";
        QTest::newRow("last millisecond") << "12:00:00.999"
                                          << "12:01:01.000";
        QTest::newRow("whole second") << "12:00:00.000"
                                      << "12:01:00.000";
    }
    void end() {
        QFETCH(QString, now);
        QFETCH(QString, until);
        const auto at = [](const QString& time) {
            return QDateTime::fromString("2026-12-08T" + time + "Z", Qt::ISODateWithMs);
        };
        QCOMPARE(BlockRules::endOf(at(now), 60s), at(until));
    }

    // The waiter's deadline on the boot clock: the section's end as it stood,
    // and never before the length has passed since the helper's exit.
    void waiterDeadline_data() {
        QTest::addColumn<qint64>("untilWall");
        QTest::addColumn<qint64>("afterExit");
        QTest::addColumn<qint64>("exited");
        QTest::addColumn<qint64>("expected");
        // Wall clock at 1,000,000 ms, boot clock at 5,000 ms.
        QTest::newRow("end first") << 1'060'000LL << 0LL << 0LL << 65'000LL;
        QTest::newRow("after a slow exit") << 1'060'000LL << 60'000LL << 6'000LL << 66'100LL;
        QTest::newRow("quick exit") << 1'060'000LL << 60'000LL << 5'000LL << 65'100LL;
        QTest::newRow("end passed") << 999'000LL << 0LL << 0LL << 5'000LL;
    }
    void waiterDeadline() {
        QFETCH(qint64, untilWall);
        QFETCH(qint64, afterExit);
        QFETCH(qint64, exited);
        QFETCH(qint64, expected);
        const Waiter::Wait wait{1000, 0,
                                Waiter::deadlineOf(Waiter::Millis(untilWall),
                                                   Waiter::Millis(1'000'000),
                                                   Waiter::Millis(5'000)),
                                Waiter::Millis(afterExit)};
        QCOMPARE(Waiter::removalTime(wait, Waiter::Millis(exited)).count(), expected);
    }
};

QTEST_GUILESS_MAIN(BlockRulesTest)
#include "tst_BlockRules.moc"
