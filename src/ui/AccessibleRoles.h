#pragma once

// Roles that Qt does not give the window's own widgets by itself: the cards
// and the duration choice are named groups, the status and error lines are
// status bars, the entry lists are tables whose rows are made on demand.
// Installed once, before the first window is shown.
namespace AccessibleRoles {

// The object name of the label that shows the time left: its value and text
// are read from it when asked, while its name changes only when that is
// worth announcing.
inline constexpr char remainingTimeName[] = "remainingTime";

void install();

} // namespace AccessibleRoles
