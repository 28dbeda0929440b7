#include "hosts/HostsSection.h"
#include "hosts/HostsText.h"

#include <QtTest>

namespace {

const QString kBegin = "# Tarnhollow:BEGIN";
const QString kEnd = "# Tarnhollow:END";

QByteArray stripped(const QByteArray& text) {
    return HostsText::stripExistingBlockSection(text, kBegin.toUtf8(), kEnd.toUtf8());
}

} // namespace

class HostsTextTest : public QObject {
    Q_OBJECT

private slots:
    void normalizeDomain_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("expected"); // empty: no name
        const auto row = [](const char* name, const QString& text, const QString& expected) {
            QTest::newRow(name) << text << expected;
        };
        row("blanks and case", " Mail.Test ", "mail.test");
        row("scheme, path, query", "HTTPS://www.news.test/today?x=1", "www.news.test");
        row("inner blank", "a. test", "a.test");
        row("outer dots", "..a.test..", "a.test");
        row("other scheme", "ftp://a.test/x", "");
        row("query without slash", "a.test?x=1", "a.test");
        row("fragment", "a.test#top", "a.test");
        row("dot before port", "a.test.:443", "a.test");
        row("empty port", "a.test:", "");
        row("blanks only", "   ", "");
        row("unicode blanks", QString::fromUtf8("\u00a0News.Test\u2029\u0085"), "news.test");
        row("scheme only", "https://", "");
        row("unicode name", QString::fromUtf8("B\u00fccher.test"), "xn--bcher-kva.test");
        row("line injection", "evil.test\n127.0.0.1 bank.test", "");
        row("inner tab", "a\tb.test", "");
        row("user info", "http://user@a.test/", "");
        row("scheme not at start", "x https://a.test", "");
        row("the machine itself", "LocalHost", "");
        row("no dot", "youtube", "");
        row("an address", "93.184.216.34", "");
        row("an address in brackets", "http://[::1]:80/", "");
        row("the machine in IPv6 words", "ip6-localhost", "");
        row("under localhost", "a.localhost", "");
        row("replacement character", QString::fromUtf8("a\uFFFD.test"), "");
        row("control character", QString::fromUtf8("a\u0007.test"), "");
        row("label over 63", QString(64, 'a') + ".test", "");
        row("name over 253", (QString(60, 'a') + '.').repeated(5) + "test", "");
    }
    void normalizeDomain() {
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        QCOMPARE(HostsText::normalizeDomain(entry).value_or(QString()), expected);
    }

    void sectionText_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QStringList>("expected");

        const QDateTime utc(QDate(2026, 12, 6), QTime(1, 8, 26), Qt::UTC);
        // The owner line records the end; the empty last line is the final line feed.
        const QString dateLine = "# Added by Tarnhollow on 2026-12-06 01:08:26 +0000\n"
                                 "# Tarnhollow:owner 1000 until 2027-01-01T00:00:00Z";
        QTest::newRow("one name") << QStringList{"n.test"} << utc
                                  << QStringList{"",
                                                 kBegin,
                                                 dateLine,
                                                 "127.0.0.1 n.test n.test.",
                                                 "127.0.0.1 www.n.test www.n.test.",
                                                 kEnd,
                                                 ""};
        QTest::newRow("sorted, unique, www once")
            << QStringList{"www.c.test", "b.test", "a.test", "b.test"} << utc
            << QStringList{"",
                           kBegin,
                           dateLine,
                           "127.0.0.1 a.test a.test.",
                           "127.0.0.1 www.a.test www.a.test.",
                           "127.0.0.1 b.test b.test.",
                           "127.0.0.1 www.b.test www.b.test.",
                           "127.0.0.1 www.c.test www.c.test.",
                           kEnd,
                           ""};
        QTest::newRow("no names") << QStringList{} << utc
                                  << QStringList{"", kBegin, dateLine, kEnd, ""};
    }
    void sectionText() {
        QFETCH(QStringList, names);
        QFETCH(QDateTime, when);
        QFETCH(QStringList, expected);
        const QDateTime until(QDate(2027, 1, 1), QTime(1, 0), Qt::OffsetFromUTC, 3600);
        QCOMPARE(HostsText::sectionText(names, when, 1000, until), '\n' + expected.join('\n'));
    }

    // Made a part at a time, a long list out of order comes out sorted, each
    // name once, and the same when made again.
    void sectionInParts() {
        // The longest name a list may hold, 253 bytes, comes out whole.
        QStringList names{"www.w.test", QString(62, 'a') + '.' + QString(62, 'b') + '.' +
                                            QString(62, 'c') + '.' + QString(59, 'd') + ".test"};
        for (int i = 3000; i > 0; --i)
            names << QString("n%1.test").arg(i % 2000);
        const QDateTime when(QDate(2026, 12, 6), QTime(1, 8, 26), Qt::UTC);
        HostsSection section(NameLines::of(names), when, 1000, when.addSecs(60));
        QByteArray parts;
        char room[HostsSection::kLeastRoom];
        for (qsizetype n; (n = section.read(room, sizeof room)) > 0;)
            parts.append(room, n);
        names.sort();
        names.removeDuplicates();
        QByteArray expected = HostsText::sectionText({}, when, 1000, when.addSecs(60));
        expected.chop(kEnd.size() + 1);
        for (const QString& name : names) {
            for (const QString& form : HostsText::blockedNames(name))
                expected += "127.0.0.1 " + form.toLatin1() + ' ' + form.toLatin1() + ".\n";
        }
        QCOMPARE(parts, expected + kEnd.toLatin1() + '\n');
        QCOMPARE(section.text(), parts);
    }

    void strip_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const QString& expected) {
            QTest::newRow(name) << text << expected;
        };
        row("no section", "127.0.0.1 localhost\n\n", "127.0.0.1 localhost\n\n");
        row("one section", "a\n\n# Tarnhollow:BEGIN\n# Added\n127.0.0.1 x\n# Tarnhollow:END", "a");
        row("two sections, lines between",
            "a\n\n# Tarnhollow:BEGIN\n127.0.0.1 x\n# Tarnhollow:END\nb\n\n"
            "# Tarnhollow:BEGIN\n127.0.0.1 y\n# Tarnhollow:END\nc\n",
            "a\nb\nc\n");
        // Only what our writer makes goes with an orphaned begin marker.
        row("begin without end", "a\n# Tarnhollow:BEGIN\nb\n\nc\n", "a\nb\n\nc\n");
        row("begin without end, our lines first",
            "a\n\n# Tarnhollow:BEGIN\n# Added by Tarnhollow on x\n# Tarnhollow:owner 1 until y\n"
            "127.0.0.1 mine.test\n\n10.0.0.1 nas\n",
            "a\n127.0.0.1 mine.test\n\n10.0.0.1 nas\n");
        row("final line feed is the section's", "a\n\n# Tarnhollow:BEGIN\n# Tarnhollow:END\n", "a");
        row("line appended after the section",
            "a\n\n# Tarnhollow:BEGIN\n127.0.0.1 x\n# Tarnhollow:END\n10.0.0.1 nas\n",
            "a\n10.0.0.1 nas\n");
        row("end without begin", "a\n# Tarnhollow:END\nb", "a\nb");
        row("blanks and tabs around markers",
            "a\n \t# Tarnhollow:BEGIN  \nx\n\t# Tarnhollow:END\t\nb", "a\nb");
        row("CRLF lines", "a\r\n\r\n# Tarnhollow:BEGIN\r\n127.0.0.1 x\r\n# Tarnhollow:END\r\nb\r\n",
            "a\r\n\r\nb\r\n");
        row("only one empty line goes", "a\n\n\n# Tarnhollow:BEGIN\n# Tarnhollow:END", "a\n");
        row("other case is not a marker", "a\n# tarnhollow:begin\nb", "a\n# tarnhollow:begin\nb");
        row("unicode blanks around marker",
            QString::fromUtf8("a\n\u00a0# Tarnhollow:BEGIN\u3000\nx\n# Tarnhollow:END\u2029"),
            "a\n");
        row("final section without our empty lines",
            "127.0.0.1 localhost\n# Tarnhollow:BEGIN\n# Tarnhollow:END\n", "127.0.0.1 localhost\n");
        row("marker as part of a line", "a # Tarnhollow:BEGIN\nb", "a # Tarnhollow:BEGIN\nb");
        row("lone CR does not split", "a\rb\n\n# Tarnhollow:BEGIN\n# Tarnhollow:END\n", "a\rb");
    }
    void strip() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(stripped(text.toUtf8()), expected.toUtf8());
    }
};

QTEST_GUILESS_MAIN(HostsTextTest)
#include "tst_HostsText.moc"
