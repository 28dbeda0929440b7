// The smallest Qt Widgets program: one empty 640 x 560 window.
#include "FirstPaintReporter.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(640, 560);
    new FirstPaintReporter(&window);
    window.show();
    return QApplication::exec();
}
