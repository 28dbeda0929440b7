// Renders the window offscreen into the two README screenshots: idle with a
// few entries, and during a session. Everything it writes besides the images
// lives in a temporary directory.
//
//   render_screenshots <output directory> [--dark]
//
// With --dark the window is drawn with a dark palette instead, into
// screenshot-dark.png, to check that it stays legible.

#include "fakes/DirectShellRunner.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "services/FocusSessionManager.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "ui/ContentView.h"
#include "ui/ProminentButton.h"
#include "ui/SegmentedControl.h"
#include "ui/SessionCard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

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
    QFile hosts(scratch.filePath(QStringLiteral("hosts")));
    if (!hosts.open(QIODevice::WriteOnly) || hosts.write("127.0.0.1 localhost\n") < 0) {
        return 1;
    }
    hosts.close();

    HostBlockerOptions options;
    options.hostsPath = hosts.fileName();
    options.temporaryDirectory = scratch.path();
    auto manager = std::make_unique<FocusSessionManager>(
        std::make_unique<FocusStore>(scratch.filePath(QStringLiteral("focus-config.json"))),
        std::make_unique<HostBlocker>(options, std::make_unique<DirectShellRunner>(),
                                      std::make_unique<NullDnsCacheFlusher>()),
        std::make_unique<FakeWorkspace>());
    ContentView view(std::move(manager));
    FocusSessionManager& controller = view.manager();
    for (const char* site : {"news.example.com", "video.example.org", "social.example.net"}) {
        controller.addWebsite(QString::fromLatin1(site));
    }
    controller.addAppBundleId(QStringLiteral("org.mozilla.firefox"));
    view.resize(view.minimumSize());
    view.show();

    const auto save = [&](const QString& name) {
        QApplication::processEvents();
        const QString path = output.filePath(name);
        if (!view.grab().save(path)) {
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
    return save(QStringLiteral("screenshot-session.png")) ? 0 : 1;
}
