#pragma once

#include <QString>

// What quitting during a session leaves behind differs by OS: Linux ends
// the block on time without the app, macOS only when the app runs again.
// One implementation file per OS, chosen in CMake. `end` is the session's
// end as the user reads it.
QString closeQuestion(const QString& end);
