#include "ui/CloseQuestion.h"

#include <QCoreApplication>

// Nothing here removes the block without the app.
QString closeQuestion(const QString& end) {
    return QCoreApplication::translate("CloseGuard",
                                       "A focus session is running until %1. Websites stay "
                                       "blocked until Tarnhollow is opened again, and "
                                       "applications are no longer closed once it quits.")
        .arg(end);
}
