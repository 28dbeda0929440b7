#pragma once

// Roles that Qt does not give the window's own widgets by itself: the cards
// and the duration choice are named groups, the status and error lines are
// status bars. Installed once, before the first window is shown.
namespace AccessibleRoles {

void install();

} // namespace AccessibleRoles
