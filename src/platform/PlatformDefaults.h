#pragma once

#include <QString>

#include <functional>
#include <memory>

class PrivilegedRunner;
class DnsCacheFlusher;
class InstalledApplications;
class SessionActivity;
class SessionNotifier;
class Workspace;

// The real platform services. One implementation file per OS, chosen in CMake.
std::unique_ptr<PrivilegedRunner> makeDefaultPrivilegedRunner();
std::unique_ptr<DnsCacheFlusher> makeDefaultDnsCacheFlusher();
// Starts reading what the workspace needs from disk on another thread, now.
// The factory builds the workspace on the calling thread, waiting for that
// read only if it has not finished yet.
std::function<std::unique_ptr<Workspace>()> prepareDefaultWorkspace();
std::unique_ptr<InstalledApplications> makeDefaultInstalledApplications();
std::unique_ptr<SessionNotifier> makeDefaultSessionNotifier();
std::unique_ptr<SessionActivity> makeDefaultSessionActivity();
// Where an entry that starts the app at login goes; empty where the
// platform has no such folder.
QString defaultAutostartEntryPath();
// The clock a running session is measured with: it keeps counting through
// suspend and ignores changes of the wall clock.
int defaultSessionClockId();
