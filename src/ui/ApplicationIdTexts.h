#pragma once

#include <QString>

// What the window calls an application's ID and shows as its example:
// desktop-entry IDs on Linux, bundle IDs on macOS. One implementation file
// per OS, chosen in CMake.
struct ApplicationIdTexts {
    QString cardTitle;
    QString placeholder;
    QString tip;
};

ApplicationIdTexts applicationIdTexts();
