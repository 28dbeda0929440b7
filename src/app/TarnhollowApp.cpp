#include "app/TarnhollowApp.h"

#include "ui/ContentView.h"

#include <QApplication>

std::unique_ptr<QWidget> TarnhollowApp::makeWindow() const {
    auto window = std::make_unique<ContentView>();
    window->resize(window->minimumSize());
    return window;
}

int TarnhollowApp::run(int& argc, char** argv) const {
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tarnhollow"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnhollow.Tarnhollow"));
    const std::unique_ptr<QWidget> window = makeWindow();
    window->show();
    return QApplication::exec();
}
