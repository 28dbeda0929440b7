#pragma once

class QWidget;

// Brings a window back to the user: restored if minimised, shown, raised
// and given the focus, also when another process asked for it (a later
// launch, the panel). How the focus is asked for differs per desktop.
class WindowPresenter {
public:
    static void present(QWidget& window);
};
