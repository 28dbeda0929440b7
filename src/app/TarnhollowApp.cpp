#include "app/TarnhollowApp.h"

#include "app/SingleInstance.h"
#ifdef Q_OS_LINUX
#include "app/X11Activation.h"
#endif
#include "base/ApplicationId.h"
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
    QGuiApplication::setDesktopFileName(tarnhollowApplicationId());
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Claim::AnotherCopyRuns)
        return 0;
    const std::unique_ptr<QWidget> window = makeWindow();
    QObject::connect(&instance, &SingleInstance::activationRequested, window.get(),
                     [target = window.get()] {
                         target->setWindowState(target->windowState() & ~Qt::WindowMinimized);
                         target->show();
                         target->raise();
                         target->activateWindow();
#ifdef Q_OS_LINUX
                         X11Activation::activate(*target);
#endif
                     });
    window->show();
    return QApplication::exec();
}
