#include "fakes/SkipOrFail.h"

#include <QProcess>
#include <QtTest>

// A 20 s block of example.test by the built helper, as a running headless
// Chromium sees it, in the lab of browser_block.sh: its measurements, read
// once, against one limit a row.
class BrowserBlockTest : public QObject {
    Q_OBJECT
    QStringList lines_;

private slots:
    void initTestCase() {
        QProcess lab;
        lab.setProcessChannelMode(QProcess::MergedChannels);
        lab.start("timeout",
                  {"-k", "5", "170", "/bin/sh", TARNHOLLOW_BROWSER_LAB, TARNHOLLOW_HELPER});
        QVERIFY(lab.waitForFinished(180000));
        const QString output = QString::fromLocal8Bit(lab.readAll());
        if (lab.exitCode() == 77)
            SKIP_OR_FAIL(output.trimmed());
        QVERIFY2(lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == 0,
                 qPrintable(output));
        lines_ = output.split('\n');
        qInfo().noquote() << output.trimmed();
    }

    void measured_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("want"); // the value's first word, or "< N" seconds
        const auto row = [](const QString& name, const QString& key, const QString& want) {
            QTest::newRow(qPrintable(name)) << key << want;
        };
        for (const QString address : {"apex", "subdomain", "trailing-dot"}) {
            const QString key = "chromium " + address;
            row(address + " loads before the block", key + " before", "ok");
            // Chromium reads a new policy file once it has stood 5 s unchanged.
            row(address + " refused from 8 s on until the end", key + " refused", "< 8");
            row(address + " loads within 10 s of the end", key + " back", "< 10");
        }
        row("the helper blocks", "helper status", "0");
        row("the site's address is in the owner's nft set", "nft during", "yes");
        // The waiter, and the child that writes the browsers' lists again.
        row("pgrep finds the helper's processes during the session", "helpers during", "> 0");
        row("the nft element is gone 1 s after the end", "nft after", "no");
        row("no helper process is left 1 s after the end", "helpers after", "0");
        row("Chromium's list is there during the session", "policy during", "yes");
        row("Chromium's list is gone 1 s after the end", "policy after", "no");
        row("a stop removes the nft element at once", "stopped nft", "no");
        row("a stop removes Chromium's list at once", "stopped policy", "no");
        row("the apex loads within 2 s of a stop", "stopped chromium apex", "ok");
    }

    void measured() {
        QFETCH(QString, key);
        QFETCH(QString, want);
        const QStringList found = lines_.filter(QRegularExpression("^" + key + " "));
        QCOMPARE(found.size(), 1);
        const QString value = found.first().mid(key.size() + 1).section(' ', 0, 0);
        if (want.startsWith("< ") || want.startsWith("> ")) {
            bool ok = false;
            const double limit = want.mid(2).toDouble();
            const double got = value.toDouble(&ok);
            QVERIFY2(ok && (want[0] == '<' ? got < limit : got > limit), qPrintable(found.first()));
        } else {
            QVERIFY2(value == want, qPrintable(found.first()));
        }
    }
};

QTEST_GUILESS_MAIN(BrowserBlockTest)
#include "tst_BrowserBlock.moc"
