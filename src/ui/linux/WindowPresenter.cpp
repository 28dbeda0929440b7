#include "ui/WindowPresenter.h"

#include "ui/linux/X11Activation.h"

#include <QWidget>

void WindowPresenter::present(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
    X11Activation::activate(window);
}
