#include "ui/CloseQuestion.h"

#include <QCoreApplication>

QString closeQuestion(const QString& end) {
    return QCoreApplication::translate("CloseGuard",
                                       "A focus session is running until %1. Websites stay "
                                       "blocked until then, but applications are no longer "
                                       "closed once Tarnhollow quits.")
        .arg(end);
}
