// For reference: the same empty window, but showing one line of text, so that
// it pays for loading fonts as any window with text does.
#include "FirstPaintReporter.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QLabel window(QStringLiteral("Tarnhollow"));
    window.resize(640, 560);
    new FirstPaintReporter(&window);
    window.show();
    return QApplication::exec();
}
