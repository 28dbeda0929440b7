#include "platform/portable/MacInstalledApplications.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The bundle walk over a temporary tree; the reader knows each bundle from
// the row, and an unknown one as a bundle without identifier.
class MacInstalledApplicationsTest : public QObject {
    Q_OBJECT

private slots:
    void list_data() {
        QTest::addColumn<QStringList>("bundles");  // "path|identifier|display name|name"
        QTest::addColumn<QStringList>("expected"); // "identifier|name"
        QTest::newRow("first root's wins, sorted without case, named by display, name or file")
            << QStringList{"b/Two.app|com.two|Two|Bundle", "a/One.app|com.one||one",
                           "b/One.app|com.one|X|", "a/Games/File Name.app|id.f||"}
            << QStringList{"id.f|File Name", "com.one|one", "com.two|Two"};
        QTest::newRow("skipped: no identifier, inside a bundle, two folders down")
            << QStringList{"a/None.app||None|", "a/Host.app/Helper.app|id.helper||",
                           "a/x/y/Deep.app|id.deep||", "b/Games/Chess.app|id.chess||"}
            << QStringList{"id.chess|Chess"};
    }

    void list() {
        QFETCH(QStringList, bundles);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QHash<QString, BundleInfo> infos;
        for (const QString& bundle : bundles) {
            const QStringList f = bundle.split('|');
            QVERIFY(QDir().mkpath(dir.filePath(f[0])));
            infos.insert(dir.filePath(f[0]), {f[1], f[2], f[3], {}});
        }
        MacInstalledApplications applications(
            {dir.filePath("a"), dir.filePath("b")},
            [&](const QString& path) { return std::optional(infos.value(path)); });
        QStringList found;
        for (const InstalledApplication& application : applications.list())
            found << application.id + '|' + application.name;
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(MacInstalledApplicationsTest)
#include "tst_MacInstalledApplications.moc"
