#include "platform/PlatformDefaults.h"
#include "platform/DnsCacheFlusher.h"
#include "platform/macos/MacBundleInfo.h"
#include "platform/portable/MacInstalledApplications.h"
#include "platform/macos/MacNotifier.h"
#include "platform/macos/MacSessionActivity.h"
#include "platform/macos/MacWorkspace.h"
#include "platform/portable/OsascriptRunner.h"

#include <QDir>

#include <ctime>

std::unique_ptr<PrivilegedRunner> makeDefaultPrivilegedRunner() {
    // The hosts text is staged in the per-user $TMPDIR, private to the user.
    return std::make_unique<OsascriptRunner>(QStringLiteral("/etc/hosts"), QDir::tempPath());
}

std::unique_ptr<DnsCacheFlusher> makeDefaultDnsCacheFlusher() {
    return std::make_unique<NoDnsCacheFlusher>();
}

std::function<std::unique_ptr<Workspace>()> prepareDefaultWorkspace() {
    // NSWorkspace reads nothing up front.
    return [] { return std::make_unique<MacWorkspace>(); };
}

std::unique_ptr<SessionNotifier> makeDefaultSessionNotifier() {
    return std::make_unique<MacNotifier>();
}

std::unique_ptr<SessionActivity> makeDefaultSessionActivity() {
    return std::make_unique<MacSessionActivity>();
}

std::unique_ptr<InstalledApplications> makeDefaultInstalledApplications() {
    const QString system = QStringLiteral("/System/Applications");
    return std::make_unique<MacInstalledApplications>(
        QStringList{QStringLiteral("/Applications"), QStringLiteral("/Applications/Utilities"),
                    system, system + QStringLiteral("/Utilities"),
                    QDir::homePath() + QStringLiteral("/Applications")},
        readMacBundleInfo);
}

QString defaultAutostartEntryPath() {
    return QString();
}

// Darwin's monotonic clock, unlike Linux's, goes on during sleep.
int defaultSessionClockId() {
    return CLOCK_MONOTONIC;
}
