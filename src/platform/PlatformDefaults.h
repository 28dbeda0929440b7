#pragma once

#include <QString>

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
std::unique_ptr<Workspace> makeDefaultWorkspace();
std::unique_ptr<InstalledApplications> makeDefaultInstalledApplications();
std::unique_ptr<SessionNotifier> makeDefaultSessionNotifier();
std::unique_ptr<SessionActivity> makeDefaultSessionActivity();
// The per-user private directory that holds the hosts file's staging copy.
QString defaultHostsStagingDirectory();
// Where an entry that starts the app at login goes; empty where the
// platform has no such folder.
QString defaultAutostartEntryPath();
// The clock a running session is measured with: it keeps counting through
// suspend and ignores changes of the wall clock.
int defaultSessionClockId();
