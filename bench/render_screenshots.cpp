// Renders the window offscreen into the README screenshots: idle with a few
// entries, during a session, a long list scrolled, and the completion popup of
// the applications field. Everything it writes besides the images lives in a
// temporary directory.
//
//   render_screenshots <output directory> [--dark]
//
// With --dark the window is drawn with a dark palette instead, into
// screenshot-dark.png, to check that it stays legible.

#include "ScratchController.h"
#include "fakes/FakeInstalledApplications.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/ApplicationCompleter.h"
#include "ui/ContentView.h"
#include "ui/EntryListView.h"
#include "ui/FormCard.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentedControl.h"
#include "ui/SessionCard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const bool dark = argc == 3 && qstrcmp(argv[2], "--dark") == 0;
    if (argc != 2 && !dark) {
        std::fprintf(stderr, "usage: render_screenshots <output directory> [--dark]\n");
        return 2;
    }
    if (dark) {
        QPalette palette(QColor(60, 60, 64), QColor(45, 45, 48));
        palette.setColor(QPalette::Window, QColor(45, 45, 48));
        palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
        palette.setColor(QPalette::Base, QColor(30, 30, 32));
        palette.setColor(QPalette::Text, QColor(235, 235, 235));
        palette.setColor(QPalette::Button, QColor(60, 60, 64));
        palette.setColor(QPalette::ButtonText, QColor(235, 235, 235));
        palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
        QApplication::setPalette(palette);
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir scratch;
    ContentView view(scratchController(scratch),
                     std::make_unique<FakeInstalledApplications>(
                         QList<InstalledApplication>{{"org.mozilla.firefox", "Firefox", "firefox"},
                                                     {"org.mozilla.Thunderbird", "Thunderbird", ""},
                                                     {"org.gnome.Calendar", "Calendar", ""},
                                                     {"com.slack.Slack", "Slack", ""}}));
    FocusSessionManager& controller = view.manager();
    for (const char* site : {"news.example.com", "video.example.org", "social.example.net"}) {
        controller.addWebsite(QString::fromLatin1(site));
    }
    controller.addAppBundleId(QStringLiteral("org.mozilla.firefox"));
    view.resize(view.sizeHint());
    view.show();
    // The first frame starts reading the installed applications, which
    // give the applications field its example.
    view.grab();
    QApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    QApplication::processEvents();

    // The window, with its open popup drawn where it shows on screen.
    const auto save = [&](const QString& name, QWidget* popup = nullptr) {
        QApplication::processEvents();
        // Sized to its content, as the window opens.
        view.resize(view.sizeHint());
        QApplication::processEvents();
        const QString path = output.filePath(name);
        QPixmap image = view.grab();
        if (popup && popup->isVisible()) {
            QPainter painter(&image);
            painter.drawPixmap(popup->mapToGlobal(QPoint()) - view.mapToGlobal(QPoint()),
                               popup->grab());
        }
        if (!image.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    if (dark) {
        controller.start(25);
        return save(QStringLiteral("screenshot-dark.png")) ? 0 : 1;
    }
    if (!save(QStringLiteral("screenshot-idle.png"))) {
        return 1;
    }
    view.sessionCard()->durationControl()->setValue(25);
    view.sessionCard()->startStopButton()->click();
    if (!save(QStringLiteral("screenshot-session.png"))) {
        return 1;
    }
    view.sessionCard()->startStopButton()->click();

    for (int i = 1; i <= 40; ++i) {
        controller.addWebsite(QStringLiteral("site%1.example.com").arg(i));
    }
    controller.addWebsite(QStringLiteral("http://"));
    controller.addAppBundleId(QStringLiteral("org.example.NotThere"));
    QScrollBar* scroll = view.websitesCard()->entryList()->verticalScrollBar();
    QApplication::processEvents();
    scroll->setValue(scroll->maximum());
    if (!save(QStringLiteral("screenshot-long-list.png"))) {
        return 1;
    }

    // Typed as a user would, so that the field offers its completions.
    QLineEdit* field = view.appsCard()->inputField();
    field->setFocus();
    for (const QChar letter : QStringLiteral("mozi")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(letter));
        QApplication::sendEvent(field, &press);
    }
    return save(QStringLiteral("screenshot-completion.png"), view.applicationCompleter()->popup())
               ? 0
               : 1;
}
