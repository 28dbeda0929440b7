#include "fakes/SkipOrFail.h"
#include "platform/LoginEntry.h"
#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/workspace/ProcessIdentity.h"

#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& contents, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray entry(const QByteArray& keys) {
    return "[Desktop Entry]\nType=Application\nName=Test\n" + keys + "\n";
}

} // namespace

class DesktopEntryIndexTest : public QObject {
    Q_OBJECT

private slots:
    void visibility_data() {
        QTest::addColumn<QByteArray>("user");   // entry in the first folder, if any
        QTest::addColumn<QByteArray>("system"); // entry in the second folder, if any
        QTest::addColumn<QString>("desktops");
        QTest::addColumn<bool>("backgroundOnly");

        const QByteArray none;
        QTest::newRow("plain") << entry("Exec=x") << none << "GNOME" << false;
        QTest::newRow("missing") << none << none << "GNOME" << true;
        QTest::newRow("Hidden") << entry("Hidden=true") << none << "GNOME" << true;
        QTest::newRow("OnlyShowIn this desktop")
            << entry("OnlyShowIn=KDE;GNOME;") << none << "GNOME" << false;
        QTest::newRow("OnlyShowIn another") << entry("OnlyShowIn=KDE;") << none << "GNOME" << true;
        QTest::newRow("OnlyShowIn, no desktop") << entry("OnlyShowIn=KDE;") << none << "" << true;
        QTest::newRow("NotShowIn this desktop")
            << entry("NotShowIn=GNOME;") << none << "GNOME" << true;
        QTest::newRow("NotShowIn, one of the list")
            << entry("NotShowIn=Unity;") << none << "Unity:GNOME" << true;
        QTest::newRow("localised key ignored")
            << entry("NoDisplay[de]=true") << none << "GNOME" << false;
        QTest::newRow("action group ignored")
            << entry("Exec=x\n[Desktop Action new]\nNoDisplay=true") << none << "GNOME" << false;
        QTest::newRow("not an application")
            << QByteArray("[Desktop Entry]\nType=Link\nURL=https://example.org\n") << none
            << "GNOME" << true;
        QTest::newRow("user copy hides system entry")
            << entry("Hidden=true") << entry("Exec=x") << "GNOME" << true;
        QTest::newRow("user copy shows system entry")
            << entry("Exec=x") << entry("NoDisplay=true") << "GNOME" << false;
        QTest::newRow("system entry only") << none << entry("Exec=x") << "GNOME" << false;
    }
    void visibility() {
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, system);
        QFETCH(QString, desktops);
        QFETCH(bool, backgroundOnly);
        QTemporaryDir dir;
        if (!user.isEmpty())
            writeFile(dir.filePath("user/org.example.App.desktop"), user);
        if (!system.isEmpty())
            writeFile(dir.filePath("system/org.example.App.desktop"), system);
        const DesktopEntryIndex index({dir.filePath("user"), dir.filePath("system")}, {},
                                      desktops.split(u':', Qt::SkipEmptyParts));
        QCOMPARE(index.isBackgroundOnly("org.example.App"), backgroundOnly);
    }

    void executable_data() {
        QTest::addColumn<QStringList>("files"); // "<folder>/<file>=<contents>"
        QTest::addColumn<QString>("program");   // looked up under bin/
        QTest::addColumn<QString>("expected");  // empty: no identifier

        const auto row = [](const char* name, const QStringList& files, const char* program,
                            const char* expected) {
            QTest::newRow(name) << files << QString(program) << QString(expected);
        };
        const QString editor = "apps/org.a.Editor.desktop=Exec=";
        row("absolute Exec", {editor + "@BIN@/editor %F"}, "editor", "org.a.Editor");
        row("quoted path with space", {editor + "\"@BIN@/my editor\" --new %U"}, "my editor",
            "org.a.Editor");
        row("space written as \\s", {editor + "\"@BIN@/my\\seditor\""}, "my editor",
            "org.a.Editor");
        row("env prefix", {editor + "env GDK_BACKEND=x11 editor %f"}, "editor", "org.a.Editor");
        row("TryExec", {editor + "sh -c editor\nTryExec=editor"}, "editor", "org.a.Editor");
        row("shell is no application", {"apps/org.a.Script.desktop=Exec=sh -c 'editor --x'"}, "sh",
            "");
        row("subfolder id", {"apps/vendor/tools/editor.desktop=Exec=editor"}, "editor",
            "vendor-tools-editor");
        row("two entries: ambiguous",
            {editor + "editor", "apps/org.b.Viewer.desktop=Exec=editor --view"}, "editor", "");
        row("shadowing entry starts another program",
            {editor + "viewer", "more/org.a.Editor.desktop=Exec=editor"}, "editor", "");
        const QString wrapper = "bin/launch=#!/bin/sh\nAPP=editor\nDIR=@BIN@\n";
        const QString launch = "apps/org.a.Editor.desktop=Exec=launch";
        row("wrapper execs through variables", {wrapper + "exec $DIR/$APP \"$@\"", launch},
            "editor", "org.a.Editor");
        row("wrapper variable set twice", {wrapper + "APP=viewer\nexec $DIR/$APP", launch},
            "viewer", "");
        row("wrapper variable read at run time", {wrapper + "read APP\nexec $DIR/$APP", launch},
            "editor", "");
        row("wrapper variable not set", {wrapper + "exec $LIB/$APP", launch}, "editor", "");
    }
    void executable() {
        QFETCH(QStringList, files);
        QFETCH(QString, program);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString bin = dir.filePath("bin");
        for (const QString& name : QStringList{"editor", "viewer", "my editor", "sh"})
            writeFile(bin + u'/' + name, "#!/bin/true\n", true);
        for (const QString& file : files) {
            const qsizetype eq = file.indexOf(u'=');
            QString keys = file.mid(eq + 1);
            keys.replace("@BIN@", bin);
            const bool script = file.startsWith("bin/");
            writeFile(dir.filePath(file.left(eq)), script ? keys.toUtf8() : entry(keys.toUtf8()),
                      script);
        }
        const DesktopEntryIndex index({dir.filePath("apps"), dir.filePath("more")}, {bin}, {});
        const QByteArray canonical = QFileInfo(bin + u'/' + program).canonicalFilePath().toUtf8();
        QCOMPARE(index.identifierForExecutable(canonical).value_or(QString()), expected);
    }

    void identifierForFile() {
        QTemporaryDir dir;
        writeFile(dir.filePath("apps/vendor/editor.desktop"), entry("Exec=x"));
        const DesktopEntryIndex index({dir.filePath("apps")}, {}, {});
        QCOMPARE(index.identifierForFile(dir.filePath("apps/vendor/./editor.desktop")).value_or(""),
                 "vendor-editor");
        QCOMPARE(index.identifierForFile("/elsewhere/org.x.Y.desktop").value_or(""), "org.x.Y");
        QVERIFY(!index.identifierForFile("/elsewhere/notes.txt"));
    }

    void refreshesWhenEntriesChange() {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("apps"));
        DesktopEntryIndex index({dir.filePath("apps"), dir.filePath("later")}, {}, {});
        QVERIFY(!index.refreshIfChanged());
        QTest::qWait(20); // folder times have millisecond resolution here
        writeFile(dir.filePath("later/sub/org.x.New.desktop"), entry("Exec=x"));
        QVERIFY(index.refreshIfChanged());
        QVERIFY(!index.isBackgroundOnly("sub-org.x.New"));
        QVERIFY(!index.refreshIfChanged());
    }

    // Of the rules that name a process the strongest wins: its unit, its
    // launch, its windows, its program.
    void identityPrecedence_data() {
        QTest::addColumn<QStringList>("evidence");
        const QStringList all{"Unit", "Launch", "Window", "Program"};
        for (qsizetype first = 0; first < all.size(); ++first)
            QTest::newRow(qPrintable(all[first])) << all.mid(first);
    }
    void identityPrecedence() {
        QFETCH(QStringList, evidence);
        QTemporaryDir dir;
        const QString apps = dir.filePath("apps/org.a.");
        for (const QString id : {"Unit", "Launch", "Window"})
            writeFile(apps + id + ".desktop", entry("Exec=x\nStartupWMClass=" + id.toUtf8()));
        writeFile(apps + "Program.desktop", entry("Exec=/bin/true"));
        const DesktopEntryIndex index({dir.filePath("apps")}, {}, {});
        const auto has = [&evidence](const char* rule) { return evidence.contains(rule); };
        const QByteArray cgroup = has("Unit") ? "0::/app-gnome-org.a.Unit-1.scope\n" : "";
        const QByteArray exe =
            has("Program") ? QFileInfo("/bin/true").canonicalFilePath().toUtf8() : "";
        const QStringList windows{"Window"};
        const auto launch = [&](QByteArray& environ) {
            environ = "GIO_LAUNCHED_DESKTOP_FILE=" + QFile::encodeName(apps) + "Launch.desktop" +
                      QByteArray(1, '\0') + "GIO_LAUNCHED_DESKTOP_FILE_PID=42";
            return has("Launch");
        };
        const ProcessIdentity::Name name = ProcessIdentity(index).identify(
            {42, cgroup, exe, launch, has("Window") ? &windows : nullptr});
        QCOMPARE(name.id.value_or(""), "org.a." + evidence.first());
    }

    // The login entry passes the desktop's validator and, read back, starts
    // the very program whatever its path holds; a line feed is refused.
    void loginEntry_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("space, not ASCII") << "/opt/zoë's apps/tarnhollow";
        QTest::newRow("shell") << "/tmp/$HOME/`id`/a;&|<>~*?#()/tarnhollow";
        QTest::newRow("backslashes, quotes") << "/tmp/a\\b\\\"c\\\\\"/tarnhollow";
        QTest::newRow("percent, tab, return") << "/tmp/100%/%f/a\tb\rc/tarnhollow";
        QTest::newRow("line feed") << "/tmp/a\nb/tarnhollow";
    }
    void loginEntry() {
        QFETCH(QString, program);
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            SKIP_OR_FAIL("desktop-file-validate is not installed");
        QTemporaryDir dir;
        const LoginEntry login(dir.filePath("session.desktop"), program);
        QFile file(login.path());
        QCOMPARE(login.write().ok() && file.open(QIODevice::ReadOnly), !program.contains('\n'));
        if (file.isOpen()) {
            QCOMPARE(QProcess::execute(validator, {login.path()}), 0);
            const QString contents = QString::fromUtf8(file.readAll());
            // Only escapes a key file knows: GLib drops a value with any other.
            QVERIFY(
                QRegularExpression(R"(\nExec=([^\\\n]|\\[sntr\\])*\n)").match(contents).hasMatch());
            // %% is left to the launcher, which undoes it after the quoting.
            QCOMPARE(DesktopEntryIndex::parse(contents.toUtf8())
                         .value_or(DesktopEntryIndex::Entry())
                         .execPath,
                     program.replace('%', "%%").toUtf8());
        }
    }
};

QTEST_GUILESS_MAIN(DesktopEntryIndexTest)
#include "tst_DesktopEntryIndex.moc"
