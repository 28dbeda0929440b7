#include "ui/WindowPresenter.h"

#include <QWidget>

void WindowPresenter::present(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}
