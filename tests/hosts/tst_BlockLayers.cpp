#include "helper/BrowserPolicy.h"
#include "helper/ConnectionCloser.h"
#include "helper/NftBlock.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <sys/stat.h>

namespace {
QString text(const std::vector<NftBlock::Address>& addresses) {
    QStringList words;
    for (const auto& a : addresses) {
        char buffer[INET6_ADDRSTRLEN] = {};
        words << ::inet_ntop(a.family, &a.bytes, buffer, sizeof buffer);
    }
    return words.join(' ');
}
} // namespace

class TestBlockLayers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(077); } // what is written must not depend on the caller's

    void blockable_data() {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<QByteArray>("resolvConf");
        QTest::addColumn<QString>("blockable");
        QTest::newRow("local ones") << "2001:db8::1 192.0.2.10 127.0.0.1 ::1 169.254.1.1 fe80::1 "
                                       "0.0.0.0 :: 224.0.0.1 ff02::1 192.0.2.10"
                                    << QByteArray() << "192.0.2.10 2001:db8::1";
        QTest::newRow("private ones, at their edges")
            << "10.1.2.3 172.15.255.255 172.16.0.1 172.31.255.255 172.32.0.1 192.168.1.1 "
               "100.63.255.255 100.64.0.1 100.127.255.255 100.128.0.1 fc00::1 fdff::1 fe00::1"
            << QByteArray() << "100.63.255.255 100.128.0.1 172.15.255.255 172.32.0.1 fe00::1";
        QTest::newRow("v4-mapped")
            << "::ffff:10.0.0.1 ::ffff:127.0.0.1 ::ffff:192.0.2.20" << QByteArray() << "192.0.2.20";
        QTest::newRow("name servers")
            << "192.0.2.53 192.0.2.54 2001:db8::53 2001:db8::54"
            << QByteArray("# nameserver 2001:db8::54\nnameserver\t192.0.2.53\nnameserver "
                          "::ffff:192.0.2.54 \nnameserver  2001:db8::53%eth0\n")
            << "2001:db8::54";
    }

    void blockable() {
        QFETCH(QString, addresses);
        QFETCH(QByteArray, resolvConf);
        QFETCH(QString, blockable);
        std::vector<NftBlock::Address> given;
        for (const QString& text : addresses.split(' ')) {
            NftBlock::Address& address = given.emplace_back(); // as written, never v4-mapped
            address.family = text.contains(':') ? AF_INET6 : AF_INET;
            ::inet_pton(address.family, qPrintable(text), &address.bytes);
        }
        QCOMPARE(text(NftBlock::blockable(given, NftBlock::dnsServersIn(resolvConf))), blockable);
    }

    // The hosts file's own addresses for a blocked name, whose open
    // connections a block closes: the name and its www. form, in any case.
    void hostsFileAddresses_data() {
        QTest::addColumn<QByteArray>("hosts");
        QTest::addColumn<QString>("found");
        QTest::newRow("name, www. form, any case")
            << QByteArray("192.0.2.1 A.test\n192.0.2.2\tx.test WWW.a.test # c\n192.0.2.3 b.test\n")
            << "192.0.2.1 192.0.2.2";
        QTest::newRow("loopback, comment, www.www.")
            << QByteArray("127.0.1.1 a.test\n# 192.0.2.4 a.test\n192.0.2.5 www.www.a.test\n") << "";
    }
    void hostsFileAddresses() {
        QFETCH(QByteArray, hosts);
        QFETCH(QString, found);
        QCOMPARE(text(ConnectionCloser::addressesIn(hosts, NameLines::of({"a.test"}))), found);
    }

    void browsers_data() {
        QTest::addColumn<QString>("setup"); // shell, in the root
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("written"); // our files afterwards, each with exactly the names
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("notice");
        const QString in =
            "mkdir -p etc/chromium/policies/managed && cd etc/chromium/policies/managed && ";
        const QString admin = "Chromium: an administrator's website list is in force, so "
                              "Tarnhollow leaves it alone.";
        const QString unsafe = "Chromium: its policy folder is a link or open to other users, "
                               "so Tarnhollow leaves it alone.";
        const QStringList names{"a.test", "b.test"};
        QTest::newRow("installed browsers")
            << "mkdir -p etc/chromium etc/opt/chrome/policies/managed etc/brave/policies etc/opt/x "
               "etc/opt/edge etc/chromium-browser"
            << names << 5
            << "cd etc/chromium/policies/managed && test \"$(ls -A)\" = tarnhollow.json && "
               "stat -c %a .. . tarnhollow.json | paste -sd' ' | grep -qx '755 755 644' && "
               "test -z \"$(ls -A ../../../opt/x)\""
            << "";
        QTest::newRow("an empty list removes our file alone")
            << in + "mkdir tarnhollow.json.d && touch tarnhollow.json other.json" << QStringList()
            << 0
            << "cd etc/chromium/policies/managed && ls -A | paste -sd' ' | grep -qx "
               "'other.json tarnhollow.json.d'"
            << "";
        QTest::newRow("administrator's list")
            << in + "echo '{\"URLBlocklist\": [\"x\"]}' >admin.json && touch tarnhollow.json"
            << names << 0 << "grep -q x etc/chromium/policies/managed/admin.json" << admin;
        QTest::newRow("administrator's list with comments")
            << in + "printf '// ours\\n{\"URLBlacklist\": [\"x\"],}' >admin.json" << names << 0
            << "true" << admin;
        QTest::newRow("other policies")
            << in + "echo '{\"HomepageLocation\": \"URLBlocklist\"}' >admin.json" << names << 1
            << "true"
            << "";
        QTest::newRow("linked managed folder")
            << in + "cd .. && rmdir managed && mkdir ../../../x && ln -s ../../../x managed"
            << names << 0 << "true" << unsafe;
        QTest::newRow("managed folder open to all")
            << in + "chmod 777 ." << names << 0 << "true" << unsafe;
        QStringList many;
        for (int i = 0; i < 3000; ++i)
            many << QString("site%1.test").arg(i);
        QTest::newRow("a list longer than a write")
            << "mkdir -p etc/chromium" << many << 1 << "true"
            << "";
        for (const char* odd : {"b\".test", "c\\.test"})
            QTest::newRow(qPrintable(QString("a name to escape: ") + odd))
                << "mkdir -p etc/chromium" << QStringList{"a.test", odd} << 1 << "true"
                << "";
        QTest::newRow("linked browser folder")
            << "mkdir -p x/policies etc/opt && ln -s ../../x etc/opt/chrome" << names << 0 << "true"
            << "";
    }

    void browsers() {
        QFETCH(QString, setup);
        QFETCH(QStringList, names);
        QFETCH(int, written);
        QFETCH(QString, check);
        QFETCH(QString, notice);
        QTemporaryDir root;
        const QString in = "cd '" + root.path() + "' && ";
        QCOMPARE(std::system(qPrintable(in + setup)), 0);
        BrowserPolicy::sync({NameLines::of(names)}, root.path()); // no leftover after a second
        QCOMPARE(BrowserPolicy::sync({NameLines::of(names)}, root.path(), true).join('\n'), notice);
        QCOMPARE(std::system(qPrintable(in + check)), 0);
        const QJsonObject expected{{"URLBlocklist", QJsonArray::fromStringList(names)}};
        int found = 0;
        for (QDirIterator it(root.path(), {"tarnhollow.json"}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext(); ++found) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), expected);
        }
        QCOMPARE(found, written);
    }
};

QTEST_GUILESS_MAIN(TestBlockLayers)
#include "tst_BlockLayers.moc"
