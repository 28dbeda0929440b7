#include "fakes/FileBytes.h"
#include "services/FocusStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Record = FocusConfiguration;
Q_DECLARE_METATYPE(FocusConfiguration)
Q_DECLARE_METATYPE(std::optional<FocusConfiguration>)

class TestFocusStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void savesExactBytes_data();
    void savesExactBytes();
    void loadsFile_data();
    void loadsFile();
    void somethingElseAtThePath_data();
    void somethingElseAtThePath();
    void defaultLocation();

private:
    QTemporaryDir m_home;
};

void TestFocusStore::initTestCase() {
    // Default-location tests must never reach the real user's data folder.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    QStandardPaths::setTestModeEnabled(true);
}

void TestFocusStore::savesExactBytes_data() {
    QTest::addColumn<Record>("record");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << Record{} << QByteArray(R"({"websites":[],"appBundleIds":[]})");
    QTest::newRow("verbatim: order, duplicates, case, spaces")
        << Record{{"b.com", " A.com ", "b.com"}, {"com.Z", "com.a"}}
        << QByteArray(
               R"({"websites":["b.com"," A.com ","b.com"],"appBundleIds":["com.Z","com.a"]})");
    QTest::newRow("solidus escaped")
        << Record{{"https://x.com/path"}, {}}
        << QByteArray(R"({"websites":["https:\/\/x.com\/path"],"appBundleIds":[]})");
    QTest::newRow("quote, backslash, control characters")
        << Record{{QString::fromUtf8("\"a\\\nb\tc\rd\be\ff") + QChar(0x01) + QChar(0x1f)}, {}}
        << QByteArray(R"({"websites":["\"a\\\nb\tc\rd\be\ff\u0001\u001f"],"appBundleIds":[]})");
    QTest::newRow("non-ASCII as UTF-8")
        << Record{{QString::fromUtf8("bücher.de"), QString::fromUtf8("例え.jp")},
                  {QString::fromUtf8("com.😀")}}
        << QByteArray("{\"websites\":[\"b\xc3\xbc"
                      "cher.de\",\"\xe4\xbe\x8b\xe3\x81\x88.jp\"],"
                      "\"appBundleIds\":[\"com.\xf0\x9f\x98\x80\"]}");
    QTest::newRow("lone surrogate kept as escape")
        << Record{{QString(QChar(0xd800)) + "x"}, {}}
        << QByteArray(R"({"websites":["\ud800x"],"appBundleIds":[]})");
}

// Written bytes are exact, and what is written comes back unchanged.
void TestFocusStore::savesExactBytes() {
    QFETCH(Record, record);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("focus-config.json");
    FocusStore store(path);
    QVERIFY(store.save(record).ok());
    QCOMPARE(readAll(path), bytes);
    const auto loaded = store.load();
    QVERIFY(loaded.has_value());
    QCOMPARE(loaded->websites, record.websites);
    QCOMPARE(loaded->appBundleIds, record.appBundleIds);
    QVERIFY(!QFileInfo::exists(store.unreadableCopyPath()));
}

void TestFocusStore::loadsFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<Record>>("expected");
    const std::optional<Record> none;

    QTest::newRow("compact") << QByteArray(R"({"websites":["a.com"],"appBundleIds":["com.x"]})")
                             << std::optional(Record{{"a.com"}, {"com.x"}});
    QTest::newRow("only websites") << QByteArray(R"({"websites":["a.com"]})") << none;
    QTest::newRow("appBundleIds a string")
        << QByteArray(R"({"websites":[],"appBundleIds":"com.x"})") << none;
    QTest::newRow("number element")
        << QByteArray(R"({"websites":["a.com",1],"appBundleIds":[]})") << none;
    QTest::newRow("top level array")
        << QByteArray(R"([{"websites":[],"appBundleIds":[]}])") << none;
    QTest::newRow("truncated") << QByteArray(R"({"websites":["a.com"],"appBundle)") << none;
}

// Whatever is found, load hands back all or nothing and never changes the
// file; the first save keeps a copy of the bytes that did not load.
void TestFocusStore::loadsFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<Record>, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("focus-config.json");
    QVERIFY(writeAll(path, bytes));
    FocusStore store(path);

    const auto loaded = store.load();
    QCOMPARE(loaded.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(*loaded, *expected);
    QCOMPARE(readAll(path), bytes);
    QVERIFY(!QFileInfo::exists(store.unreadableCopyPath()));

    // Another copy's good file arriving after load is not what failed.
    if (!expected)
        QVERIFY(writeAll(path, FocusStore::encode(Record{{"other.com"}, {}})));
    const Record next{{"new.com"}, {}};
    QVERIFY(store.save(next).ok());
    QCOMPARE(readAll(path), FocusStore::encode(next));
    if (expected) {
        QVERIFY(!QFileInfo::exists(store.unreadableCopyPath()));
    } else {
        QCOMPARE(readAll(store.unreadableCopyPath()), bytes);
        // Later saves replace our own file, not the kept copy.
        QVERIFY(writeAll(store.unreadableCopyPath(), "older"));
        QVERIFY(store.save(Record{}).ok());
        QCOMPARE(readAll(store.unreadableCopyPath()), QByteArray("older"));
    }
}

void TestFocusStore::somethingElseAtThePath_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("directory") << "directory";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("symlink to a fifo") << "link";
}

// Only a regular file is read (a FIFO would block, a device might never
// end) or replaced; no copy is kept of anything else.
void TestFocusStore::somethingElseAtThePath() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("focus-config.json");
    const QString fifo = kind == "link" ? dir.filePath("elsewhere") : path;
    if (kind == "directory")
        QVERIFY(QDir().mkdir(path));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    if (kind == "link")
        QVERIFY(QFile::link(fifo, path));

    FocusStore store(path);
    QVERIFY(!store.load().has_value());
    QVERIFY(!store.save(Record{{"a.com"}, {}}).ok());
    QVERIFY(!QFileInfo::exists(store.unreadableCopyPath()));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(kind == "directory" ? S_ISDIR(info.st_mode) : S_ISFIFO(info.st_mode));
}

void TestFocusStore::defaultLocation() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QVERIFY(base.startsWith(m_home.path()));
    const QString directory = QDir(base).filePath("Tarnhollow");
    QVERIFY(!QFileInfo::exists(directory));

    FocusStore store;
    QCOMPARE(store.fileURL(), QDir(directory).filePath("focus-config.json"));
    // The directory is made at once, the file only by the first save.
    QVERIFY(QFileInfo(directory).isDir());
    QVERIFY(!QFileInfo::exists(store.fileURL()));
}

QTEST_GUILESS_MAIN(TestFocusStore)
#include "tst_FocusStore.moc"
