#pragma once

#include <QString>
#include <QStringList>

// What the window calls an application's ID and shows as its example:
// desktop-entry IDs on Linux, bundle IDs on macOS. One implementation file
// per OS, chosen in CMake.
struct ApplicationIdTexts {
    QString cardTitle;
    QString placeholder;
    QString tip;
};

// `installedIds` are the installed applications' IDs, where known: the
// example names one of them, so that it is never shown as not installed.
ApplicationIdTexts applicationIdTexts(const QStringList& installedIds = {});
