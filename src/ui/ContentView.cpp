#include "ui/ContentView.h"

ContentView::ContentView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(640, 560);
}
