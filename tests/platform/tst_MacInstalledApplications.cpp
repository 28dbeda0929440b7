#include "platform/macos/MacInstalledApplications.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// The bundle walk over a temporary tree, with a reader that knows each
// bundle's Info.plist from the test's own table.
class MacInstalledApplicationsTest : public QObject {
    Q_OBJECT

private slots:
    void list_data() {
        // Bundles as "path|identifier|display name|name|icon file|file made in Resources".
        QTest::addColumn<QStringList>("bundles");
        QTest::addColumn<QStringList>("expected"); // "identifier|name|icon"

        QTest::newRow("first root wins, names sorted without case")
            << QStringList{"b/Two.app|com.two|Two", "a/One.app|com.one|one", "b/One.app|com.one|X"}
            << QStringList{"com.one|one|", "com.two|Two|"};
        QTest::newRow("name from the bundle name, then the file name")
            << QStringList{"a/D.app|id.d|Display|Bundle", "a/B.app|id.b||Bundle",
                           "a/File Name.app|id.f"}
            << QStringList{"id.b|Bundle|", "id.d|Display|", "id.f|File Name|"};
        QTest::newRow("skipped: no identifier, inside a bundle, two folders down")
            << QStringList{"a/None.app||None", "a/Host.app|id.host|Host",
                           "a/Host.app/Contents/Helper.app|id.helper", "a/x/y/Deep.app|id.deep",
                           "b/Games/Chess.app|id.chess|Chess"}
            << QStringList{"id.chess|Chess|", "id.host|Host|"};
        QTest::newRow("icon file with or without suffix, only if present")
            << QStringList{"a/A.app|id.a|A||Icon|Icon.icns", "a/B.app|id.b|B||b.icns|b.icns",
                           "a/C.app|id.c|C||Gone"}
            << QStringList{"id.a|A|a/A.app/Contents/Resources/Icon.icns",
                           "id.b|B|a/B.app/Contents/Resources/b.icns", "id.c|C|"};
    }

    void list() {
        QFETCH(QStringList, bundles);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QHash<QString, BundleInfo> infos;
        for (const QString& spec : bundles) {
            QStringList f = spec.split('|');
            f.resize(6);
            QVERIFY(QDir().mkpath(dir.filePath(f[0] + "/Contents/Resources")));
            if (!f[5].isEmpty())
                QVERIFY(QFile(dir.filePath(f[0] + "/Contents/Resources/" + f[5]))
                            .open(QIODevice::WriteOnly));
            infos.insert(dir.filePath(f[0]), {f[1], f[2], f[3], f[4]});
        }
        MacInstalledApplications applications(
            {dir.filePath("a"), dir.filePath("b"), dir.filePath("missing")},
            [&](const QString& path) -> std::optional<BundleInfo> { return infos.value(path); });

        QStringList found;
        for (const InstalledApplication& a : applications.list())
            found << a.id + '|' + a.name + '|' + QString(a.iconName).remove(dir.path() + '/');
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(MacInstalledApplicationsTest)
#include "tst_MacInstalledApplications.moc"
