#include "fakes/DirectShellRunner.h"
#include "fakes/FakeInstalledApplications.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/FileBytes.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "fakes/SteadyClock.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/ApplicationCompleter.h"
#include "ui/ApplicationIdTexts.h"
#include "ui/CloseGuard.h"
#include "ui/ContentView.h"
#include "ui/EntryDelegate.h"
#include "ui/EntryListView.h"
#include "ui/FormCard.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentButton.h"
#include "ui/SegmentedControl.h"
#include "ui/SessionCard.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QByteArray originalHosts = "127.0.0.1 localhost\n::1 localhost\n";

// A view on a controller that touches only a temporary directory, with
// `websites` added through the controller.
struct Harness {
    explicit Harness(const QStringList& websites = {}, std::chrono::milliseconds countdown = 1h) {
        QFile hosts(dir.filePath("hosts"));
        QVERIFY(hosts.open(QIODevice::WriteOnly) && hosts.write(originalHosts) > 0);
        const HostBlockerOptions options{hosts.fileName(), {}};
        auto shell = std::make_unique<DirectShellRunner>(hosts.fileName(), dir.path());
        runner = shell.get();
        auto manager = std::make_unique<FocusSessionManager>(
            std::make_unique<FocusStore>(configPath()),
            std::make_unique<HostBlocker>(options, std::move(shell),
                                          std::make_unique<NullDnsCacheFlusher>()),
            std::make_unique<FakeWorkspace>(), countdown,
            SessionOptions{std::make_unique<SessionRecordStore>(dir.filePath("session.json"),
                                                                dir.filePath("autostart.desktop"),
                                                                "/bin/true"),
                           [this, clock = steadyClock()] { return clock() + skipped; }});
        auto installed = std::make_unique<FakeInstalledApplications>(
            QList<InstalledApplication>{{"org.mozilla.firefox", "Firefox", "firefox"},
                                        {"org.mozilla.Thunderbird", "Thunderbird", ""},
                                        {"org.gnome.TextEditor", "Text Editor", ""}});
        applications = installed.get();
        view = std::make_unique<ContentView>(std::move(manager), std::move(installed));
        for (const QString& website : websites)
            view->manager().addWebsite(website);
    }

    QString configPath() const { return dir.filePath("focus-config.json"); }
    FocusSessionManager& manager() const { return view->manager(); }

    QTemporaryDir dir;
    // Added to the session clock, as if that much more time had passed.
    std::chrono::milliseconds skipped{0};
    DirectShellRunner* runner = nullptr;
    FakeInstalledApplications* applications = nullptr;
    std::unique_ptr<ContentView> view;
};

QStringList shownEntries(const FormCard* card) {
    return card->entryList()->isVisibleTo(card) ? card->entries()->items() : QStringList();
}

bool showsNoEntriesText(const FormCard* card) {
    for (const QLabel* label : card->findChildren<QLabel*>()) {
        if (label->text() == "No entries yet.")
            return label->isVisibleTo(card);
    }
    return false;
}

void clickSegment(const SessionCard* card, int minutes) {
    for (SegmentButton* segment : card->durationControl()->segments()) {
        if (segment->text() == QStringLiteral("%1 min").arg(minutes))
            QTest::mouseClick(segment, Qt::LeftButton);
    }
}

} // namespace

class ContentViewTest : public QObject {
    Q_OBJECT

private slots:
    void addsThroughTheController_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("empty field") << QStringList() << "" << QStringList();
        QTest::newRow("refused duplicate")
            << QStringList{"mail.test"} << "MAIL.test" << QStringList{"mail.test"};
        QTest::newRow("markup shown verbatim")
            << QStringList() << "<b>x</b>.test" << QStringList{"<b>x</b>.test"};
    }

    void addsThroughTheController() {
        QFETCH(QStringList, before);
        QFETCH(QString, typed);
        QFETCH(QStringList, after);
        Harness harness;
        FormCard* card = harness.view->websitesCard();
        for (const QString& entry : before) {
            card->inputField()->setText(entry);
            QTest::mouseClick(card->addButton(), Qt::LeftButton);
        }
        QFile::remove(harness.configPath());

        card->inputField()->setText(typed);
        QTest::mouseClick(card->addButton(), Qt::LeftButton);

        QCOMPARE(card->inputField()->text(), QString());
        QCOMPARE(shownEntries(card), after);
        QCOMPARE(showsNoEntriesText(card), after.isEmpty());
        QCOMPARE(QFile::exists(harness.configPath()), before != after);
    }

    // The keypad's Enter presses a focused button as Return does.
    void enterOnAddAdds() {
        Harness harness;
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowActive(harness.view.get()));
        FormCard* card = harness.view->appsCard();
        card->inputField()->setText("org.example.Chat");
        card->addButton()->setFocus();
        QTest::keyClick(card->addButton(), Qt::Key_Enter);
        QCOMPARE(harness.manager().appBundleIds(), QStringList{"org.example.Chat"});
        QCOMPARE(card->inputField()->text(), QString());
    }

    void removesWithoutAsking_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QStringList>("after");

        const QStringList three{"a.test", "b.test", "c.test"};
        QTest::newRow("trash: middle of three")
            << three << 1 << false << three.sliced(0, 1) + three.sliced(2);
        QTest::newRow("trash: the last one")
            << QStringList{"a.test"} << 0 << false << QStringList();
        QTest::newRow("Delete twice: last two") << three << 1 << true << three.sliced(0, 1);
    }

    void removesWithoutAsking() {
        QFETCH(QStringList, before);
        QFETCH(int, row);
        QFETCH(bool, byKey);
        QFETCH(QStringList, after);

        Harness harness(before);
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowActive(harness.view.get()));
        FormCard* card = harness.view->websitesCard();
        EntryListView* list = card->entryList();
        const QModelIndex index = card->entries()->index(row);
        if (byKey) {
            // The selection stays on the row, so Delete goes on removing.
            list->setFocus(Qt::TabFocusReason);
            list->setCurrentIndex(index);
            QTest::keyClick(list, Qt::Key_Delete);
            QTest::keyClick(list, Qt::Key_Delete);
        } else {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              EntryDelegate::trashRect(list->visualRect(index), list).center());
        }

        QCOMPARE(shownEntries(card), after);
        QCOMPARE(showsNoEntriesText(card), after.isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        FocusStore store(harness.configPath());
        QCOMPARE(store.load().value_or(FocusConfiguration{}).websites, after);
    }

    // Found by filter, removed many at once, put back by Ctrl+Z; a new
    // entry is brought into view and selected.
    void longListsCanBeManaged() {
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << QStringLiteral("site%1.test").arg(i);
        Harness harness(many);
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowActive(harness.view.get()));
        FormCard* card = harness.view->websitesCard();
        QTest::keyClick(harness.view.get(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "SITE29");
        QCOMPARE(card->entries()->rowCount(), 11);
        const auto clear = card->filterField()->findChild<QAbstractButton*>();
        QVERIFY(clear && clear->accessibleName() == "Clear the filter");
        card->entryList()->setFocus();
        QTest::keyClick(card->entryList(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(card->entryList(), Qt::Key_Delete);
        QCOMPARE(harness.manager().websites().size(), 289);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(harness.manager().websites(), many);
        card->inputField()->setText("new.test");
        QTest::mouseClick(card->addButton(), Qt::LeftButton);
        const QModelIndex current = card->entryList()->currentIndex();
        QCOMPARE(current.data(EntryListModel::EntryRole).toString(), "new.test");
        QVERIFY(
            card->entryList()->viewport()->rect().contains(card->entryList()->visualRect(current)));
    }

    // Start stays on a 1366 x 768 screen (see main) with 200 entries.
    void listsScrollWithinTheScreen() {
        Harness harness;
        for (int i = 0; i < 100; ++i) {
            harness.manager().addWebsite(QStringLiteral("site%1.test").arg(i));
            harness.manager().addAppBundleId(QStringLiteral("org.example.App%1").arg(i));
        }
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(harness.view.get()));
        QCoreApplication::processEvents();

        ContentView* view = harness.view.get();
        QVERIFY(view->frameGeometry().height() <= view->screen()->availableGeometry().height());
        const QWidget* start = view->sessionCard()->startStopButton();
        QVERIFY(start->mapTo(view, QPoint(0, start->height())).y() <= view->height());
        for (const FormCard* card : {view->websitesCard(), view->appsCard()}) {
            const EntryListView* list = card->entryList();
            QVERIFY(list->height() >= 3 * list->rowHeight() &&
                    list->height() <= 6 * list->rowHeight());
            QVERIFY(list->verticalScrollBar()->maximum() > 0);
        }
    }

    void completesByNameOrId_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("name, any case") << "FIRE" << QStringList{"org.mozilla.firefox"};
        QTest::newRow("ID part") << "mozilla"
                                 << QStringList{"org.mozilla.firefox", "org.mozilla.Thunderbird"};
        QTest::newRow("nothing") << "org.example.Typed" << QStringList();
    }

    void completesByNameOrId() {
        QFETCH(QString, typed);
        QFETCH(QStringList, offered);
        Harness harness;
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowActive(harness.view.get()));
        QTRY_VERIFY(harness.view->applicationCompleter()->isLoaded());
        // Read off the window's thread: the system's list can be slow.
        QVERIFY(harness.applications->listedOn() != QThread::currentThread());
        QLineEdit* field = harness.view->appsCard()->inputField();
        field->setFocus();
        QTest::keyClicks(field, typed);

        QAbstractItemView* popup = harness.view->applicationCompleter()->popup();
        QCOMPARE(popup->isVisible(), !offered.isEmpty());
        QStringList ids;
        for (int row = 0; row < popup->model()->rowCount(); ++row)
            ids << popup->model()->index(row, 0).data(Qt::UserRole).toString();
        QCOMPARE(popup->isVisible() ? ids : QStringList(), offered);

        // Choosing puts the ID in the field; a typed ID stays as it is.
        if (popup->isVisible()) {
            QTest::keyClick(popup, Qt::Key_Down);
            QTest::keyClick(popup, Qt::Key_Return);
        }
        QCOMPARE(field->text(), offered.value(0, typed));
    }

    void hintsAreOnlyDrawn_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("website");
        QTest::addColumn<QStringList>("hints");
        QTest::newRow("dots only, a host") << QStringList{"...", "https://mail.test/inbox"} << true
                                           << QStringList{"not a web address", ""};
        QTest::newRow("unknown ID, installed ID in another case")
            << QStringList{"org.example.Gone", "ORG.gnome.texteditor"} << false
            << QStringList{"not installed", ""};
        QTest::newRow("no dot, an address, a comma")
            << QStringList{"youtube", "93.184.216.34", "youtube,com"} << true
            << QStringList{"no dot: not a web address, try example.com",
                           "an IP address: only names can be blocked",
                           "has characters no web address has"};
    }

    // Hints follow the rows: removing the first asks again for the others.
    void hintsAreOnlyDrawn() {
        QFETCH(QStringList, entries);
        QFETCH(bool, website);
        QFETCH(QStringList, hints);
        Harness harness;
        harness.view->show();
        QTRY_VERIFY(harness.view->applicationCompleter()->isLoaded());
        const FormCard* card = website ? harness.view->websitesCard() : harness.view->appsCard();
        const auto shownHints = [card] {
            QStringList shown;
            for (int row = 0; row < card->entries()->rowCount(); ++row)
                shown << card->entries()->index(row).data(EntryListModel::HintRole).toString();
            return shown;
        };
        for (const QString& entry : entries)
            website ? harness.manager().addWebsite(entry) : harness.manager().addAppBundleId(entry);
        QCOMPARE(shownHints(), hints);
        website ? harness.manager().removeWebsite(entries.first())
                : harness.manager().removeAppBundleId(entries.first());
        QCOMPARE(shownHints(), hints.mid(1));
    }

    void errorLineTakesSpaceOnlyWhilePresent() {
        Harness harness;
        harness.view->show();
        harness.manager().addWebsite("mail.test");
        QCoreApplication::processEvents();
        QLabel* error = harness.view->errorLine();
        const int heightWithout = harness.view->sizeHint().height();
        QVERIFY(!error->isVisibleTo(harness.view.get()));

        harness.runner->failWith(1, "cp: permission denied");
        QTest::mouseClick(harness.view->sessionCard()->startStopButton(), Qt::LeftButton);
        QVERIFY(harness.manager().hasErrorMessage());
        QVERIFY(error->isVisibleTo(harness.view.get()));
        QCOMPARE(error->text(), harness.manager().errorMessageText());
        QVERIFY(harness.view->sizeHint().height() > heightWithout);
        // A longer one takes the lines it needs.
        const int heightShort = harness.view->sizeHint().height();
        harness.runner->failWith(1, "cp: " + QByteArray("permission denied ").repeated(30));
        QTest::mouseClick(harness.view->sessionCard()->startStopButton(), Qt::LeftButton);
        QVERIFY(harness.view->sizeHint().height() > heightShort);

        harness.runner->succeed();
        QTest::mouseClick(harness.view->sessionCard()->startStopButton(), Qt::LeftButton);
        QTest::mouseClick(harness.view->sessionCard()->startStopButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!harness.manager().hasErrorMessage());
        QVERIFY(!error->isVisibleTo(harness.view.get()));
        QCOMPARE(harness.view->sizeHint().height(), heightWithout);
    }

    // An old block without owner is explained, not an error; its button
    // removes it from the keyboard and says how that went.
    void oldBlockWithoutOwner_data() {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("status");
        QTest::newRow("removed") << false << "The old website block was removed.";
        QTest::newRow("password refused") << true << "Focus session ended.";
    }
    void oldBlockWithoutOwner() {
        QFETCH(bool, refused);
        QFETCH(QString, status);
        Harness harness({"mail.test"});
        const QByteArray hosts = originalHosts + "# Tarnhollow:BEGIN\n# Tarnhollow:END\n";
        QVERIFY(writeAll(harness.dir.filePath("hosts"), hosts));
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowActive(harness.view.get()));
        harness.runner->failWith(3, "old block", false, 1);
        QTest::mouseClick(harness.view->sessionCard()->startStopButton(), Qt::LeftButton);
        QLabel* note = harness.view->unownedBlockLine();
        QVERIFY(note->isVisibleTo(harness.view.get()) && note->text().contains("no owner"));
        QVERIFY(!harness.manager().hasErrorMessage());
        QPushButton* remove = harness.view->removeOldBlockButton();
        QCOMPARE(remove->accessibleDescription(), note->text());
        refused ? harness.runner->failWith(1, {}, true) : harness.runner->succeed();
        harness.runner->answerAfter(10);
        remove->setFocus();
        QTest::keyClick(remove, Qt::Key_Return);
        QCOMPARE(harness.view->sessionCard()->startStopButton()->text(), "Removing the old block…");
        QTRY_VERIFY(!harness.manager().isBusy());
        QCOMPARE(note->isVisibleTo(harness.view.get()), refused);
        QCOMPARE(harness.view->statusLine()->text(), status);
        QCOMPARE(harness.manager().errorMessageText().startsWith(
                     "The old website block could not be removed: Website blocking requires"),
                 refused);
        QCOMPARE(readAll(harness.dir.filePath("hosts")), refused ? hosts : originalHosts);
    }

    void startStopButtonFollowsTheSession_data() {
        QTest::addColumn<QStringList>("websites");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("tint");
        QTest::addColumn<QString>("status");

        const int blue = int(ProminentButton::Tint::Blue);
        const int red = int(ProminentButton::Tint::Red);
        QTest::newRow("new window")
            << QStringList{"mail.test"} << 0 << "Start Focus Session" << blue << "Added mail.test.";
        QTest::newRow("running") << QStringList{"mail.test"} << 1 << "Stop Session" << red
                                 << "Focus session active.";
        QTest::newRow("stopped") << QStringList{"mail.test"} << 2 << "Start Focus Session" << blue
                                 << "Focus session stopped.";
        // The last click's run has not returned: the button says what it waits for.
        QTest::newRow("waiting for the password")
            << QStringList{"mail.test"} << -1 << "Waiting for the administrator password…" << blue
            << "Added mail.test.";
        QTest::newRow("removing the block")
            << QStringList{"mail.test"} << -2 << "Removing the block…" << red
            << "Focus session active.";
    }

    void startStopButtonFollowsTheSession() {
        QFETCH(QStringList, websites);
        QFETCH(int, clicks);
        QFETCH(QString, caption);
        QFETCH(int, tint);
        QFETCH(QString, status);

        Harness harness(websites);
        ProminentButton* button = harness.view->sessionCard()->startStopButton();
        for (int i = 0; i < std::abs(clicks); ++i) {
            if (clicks < 0 && i == -clicks - 1)
                harness.runner->answerAfter(60000);
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->accessibleDescription(), clicks < 0 ? caption : QString());
        QCOMPARE(int(button->tint()), tint);
        // The title tells the time left only while the session runs.
        QCOMPARE(harness.view->windowTitle().contains(" left"), caption == "Stop Session");
        QCOMPARE(harness.view->statusLine()->text(), status);
        QVERIFY(button->isEnabled());
    }

    // Untouched, Start takes 30 minutes; a chosen segment replaces it.
    void selectedSegmentReachesStart() {
        Harness harness({"mail.test"});
        SessionCard* card = harness.view->sessionCard();
        QCOMPARE(card->remainingLabel()->text(), "remaining: 00:00");
        QTest::mouseClick(card->startStopButton(), Qt::LeftButton);
        QCOMPARE(card->remainingLabel()->text(), "remaining: 30:00");
        QTest::mouseClick(card->startStopButton(), Qt::LeftButton);
        clickSegment(card, 60);
        QTest::mouseClick(card->startStopButton(), Qt::LeftButton);
        QCOMPARE(card->remainingLabel()->text(), "remaining: 60:00");
        QCOMPARE(harness.manager().remainingSeconds(), qint64(60 * 60));
    }

    // Read as shown whenever asked, 2 s apart, under a name that stays.
    void timeLeftReadWhenAsked() {
        Harness harness({}, 10ms);
        harness.manager().addAppBundleId("org.example.Chat");
        harness.manager().start(30);
        QAccessibleInterface* time =
            QAccessible::queryAccessibleInterface(harness.view->sessionCard()->remainingLabel());
        harness.skipped = 1s;
        QTRY_COMPARE(time->text(QAccessible::Value), "remaining: 29:59");
        harness.skipped = 3s;
        QVERIFY(time->textInterface());
        QTRY_COMPARE(time->textInterface()->text(0, 16), "remaining: 29:57");
        QCOMPARE(time->text(QAccessible::Name), "Remaining time");
    }

    // A taller window gives the lists more rows; the minimum stays, and the
    // lists shrink back with the window.
    void listsGrowWithTheWindow() {
        Harness harness;
        for (int i = 0; i < 40; ++i)
            harness.manager().addWebsite(QStringLiteral("site%1.test").arg(i));
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(harness.view.get()));
        QWidget* list = harness.view->websitesCard()->entryList();
        const int small = list->height();
        const int minimum = harness.view->minimumHeight();
        const int natural = harness.view->height();
        harness.view->resize(harness.view->width(), natural + 400);
        QTRY_VERIFY(list->height() >= small + 300);
        QCOMPARE(harness.view->minimumHeight(), minimum);
        harness.view->resize(harness.view->width(), natural);
        QTRY_COMPARE(list->height(), small);
    }

    void minimumSizeHoldsAndGrowsWithContent_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("longTexts"); // a long app entry and a long error
        QTest::newRow("empty lists") << 0 << false;
        QTest::newRow("many entries, long texts") << 15 << true;
    }

    void minimumSizeHoldsAndGrowsWithContent() {
        QFETCH(int, entries);
        QFETCH(bool, longTexts);
        Harness harness;
        for (int i = 0; i < entries; ++i)
            harness.manager().addWebsite(QStringLiteral("site%1.test").arg(i));
        if (longTexts) {
            harness.manager().addAppBundleId("org.example." + QString(300, 'x'));
            harness.runner->failWith(1,
                                     QByteArray(400, 'e').replace(40, 1, " ").replace(200, 1, " "));
        }
        harness.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(harness.view.get()));
        harness.view->sessionCard()->startStopButton()->click();
        harness.view->resize(100, 100);
        QCoreApplication::processEvents();
        const QSize size = harness.view->size();
        // A long entry is cut rather than widening the window; a long error wraps.
        QCOMPARE(size.width(), 640);
        QVERIFY(size.height() >= 560);
        const QLabel* error = harness.view->errorLine();
        const QWidget* session = harness.view->sessionCard();
        QVERIFY(session->geometry().bottom() <= size.height() - 20);
        if (longTexts) {
            QVERIFY(error->height() >= 2 * error->fontMetrics().height());
            QVERIFY(error->geometry().bottom() < size.height());
            QVERIFY(session->geometry().bottom() < error->geometry().top());
        }
    }

    void closing_data() {
        QTest::addColumn<QString>("state"); // idle, session, or busy (password asked)
        QTest::addColumn<bool>("quit");     // the answer to the question
        QTest::addColumn<bool>("closes");
        QTest::newRow("idle closes") << "idle" << false << true;
        QTest::newRow("session: keep open") << "session" << false << false;
        QTest::newRow("session: quit") << "session" << true << true;
        // The window stays, and the close is taken up once the run answers.
        QTest::newRow("password asked: then keep open") << "busy" << false << false;
        QTest::newRow("password asked: then quit") << "busy" << true << true;
        // A second launch brought the window back: the close is dropped.
        QTest::newRow("password asked, launched again") << "relaunch" << true << false;
    }
    void closing() {
        QFETCH(QString, state);
        QFETCH(bool, quit);
        QFETCH(bool, closes);
        Harness harness({"a.test"});
        const bool relaunch = state == "relaunch";
        if (relaunch)
            state = "busy";
        if (state == "busy")
            harness.runner->answerAfter(200);
        if (state != "idle")
            harness.manager().start(5);
        QString asked;
        auto* guard = new CloseGuard(harness.view.get(), harness.manager(),
                                     [&](QWidget*, const QString& question) {
                                         asked = question;
                                         return quit;
                                     });
        harness.view->show();
        const bool busy = state == "busy";
        QCOMPARE(harness.view->close(), closes && !busy);
        QCOMPARE(harness.view->isVisible(), !closes || busy);
        QCOMPARE(asked.startsWith("A focus session is running until "), state == "session");
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        if (relaunch) {
            guard->cancelPendingClose();
            QTRY_VERIFY(!harness.manager().isBusy());
            QTest::qWait(20);
            QVERIFY(asked.isEmpty() && harness.view->isVisible());
        } else if (busy) {
            QTRY_VERIFY(!asked.isEmpty());
            QVERIFY(harness.manager().isSessionActive());
            QCOMPARE(harness.view->isVisible(), !closes);
        }
    }

    void everyControlIsNamed() {
        Harness harness({"mail.test"});
        harness.manager().addAppBundleId("org.example.Chat");
        const QList<QWidget*> controls = harness.view->findChildren<QWidget*>();
        for (QWidget* control : controls) {
            if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
                qobject_cast<SegmentedControl*>(control) || qobject_cast<EntryListView*>(control))
                QVERIFY2(!QAccessible::queryAccessibleInterface(control)
                              ->text(QAccessible::Name)
                              .isEmpty(),
                         control->metaObject()->className());
        }
        const QModelIndex row = harness.view->appsCard()->entries()->index(0);
        QVERIFY(!row.data(Qt::AccessibleDescriptionRole).toString().isEmpty());
#ifdef Q_OS_LINUX
        // Linux names applications by their desktop-entry ID, once the
        // installed ones are known.
        harness.view->show();
        QTRY_COMPARE(harness.view->appsCard()->inputField()->placeholderText(),
                     "org.mozilla.firefox");
        QVERIFY(harness.view->sessionCard()->tipLabel()->text().contains("org.mozilla.firefox)"));
#endif
    }

#ifdef Q_OS_LINUX
    // The example is an installed application's ID, or none at all.
    void exampleIsInstalled_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("example");
        QTest::newRow("Debian's Firefox")
            << QStringList{"org.gnome.gedit", "firefox-esr"} << "firefox-esr";
        QTest::newRow("as installed")
            << QStringList{"org.chromium.chromium"} << "org.chromium.chromium";
        QTest::newRow("none known") << QStringList{"org.example.Chat"} << "";
    }

    void exampleIsInstalled() {
        QFETCH(QStringList, installed);
        QFETCH(QString, example);
        const ApplicationIdTexts texts = applicationIdTexts(installed);
        QCOMPARE(texts.placeholder == example, !example.isEmpty());
        QCOMPARE(texts.tip.contains("(for example, " + example + ")"), !example.isEmpty());
        QVERIFY(!texts.tip.contains("org.") || !example.isEmpty());
    }
#endif
};

// Every window here opens on a 1366 x 768 screen.
int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    QFile screens(dir.filePath("screens.json"));
    if (!screens.open(QIODevice::WriteOnly) ||
        screens.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366,)"
                      R"( "height": 768, "logicalDpi": 96, "dpr": 1}]})") < 0)
        return 1;
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    QApplication application(argc, argv);
    ContentViewTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ContentView.moc"
