#pragma once

#include <QWidget>

// The one view of the window (placeholder until the window is built).
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(QWidget* parent = nullptr);
};
