#include "app/AppWiring.h"

#include "platform/DeferredWorkspace.h"
#include "platform/DnsCacheFlusher.h"
#include "platform/PlatformDefaults.h"
#include "platform/PrivilegedRunner.h"
#include "platform/SessionClock.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"
#include "services/SessionRecord.h"

#include <QCoreApplication>

namespace {

std::unique_ptr<FocusSessionManager> systemController() {
    auto hostBlocker = std::make_unique<HostBlocker>(
        HostBlockerOptions(), makeDefaultPrivilegedRunner(), makeDefaultDnsCacheFlusher());
    // Made at the first session's start, so opening the window does not wait
    // for the process table and the session bus.
    auto workspace = std::make_unique<DeferredWorkspace>(prepareDefaultWorkspace());
    SessionOptions options;
    options.records = std::make_unique<SessionRecordStore>(SessionRecordStore::defaultPath(),
                                                           defaultAutostartEntryPath(),
                                                           QCoreApplication::applicationFilePath());
    options.sessionClock = [clock = defaultSessionClockId()] { return readClock(clock); };
    return std::make_unique<FocusSessionManager>(std::make_unique<FocusStore>(),
                                                 std::move(hostBlocker), std::move(workspace),
                                                 std::chrono::seconds(1), std::move(options));
}

} // namespace

AppWiring AppWiring::system() {
    return AppWiring{systemController, makeDefaultInstalledApplications, makeDefaultSessionNotifier,
                     makeDefaultSessionActivity};
}
