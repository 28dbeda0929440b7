// The application as it starts for a user, reporting its first painted frame.
#include "FirstPaintReporter.h"
#include "app/TarnhollowApp.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tarnhollow"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnhollow.Tarnhollow"));
    const std::unique_ptr<QWidget> window = TarnhollowApp().makeWindow();
    new FirstPaintReporter(window.get());
    window->show();
    return QApplication::exec();
}
