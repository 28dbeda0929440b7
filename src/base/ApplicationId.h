#pragma once

#include <QString>

// Our own desktop-entry ID on Linux and bundle identifier on macOS.
inline QString tarnhollowApplicationId() {
    return QStringLiteral("org.tarnhollow.Tarnhollow");
}
