#include "ui/ContentView.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ContentView view;
    view.show();
    return app.exec();
}
