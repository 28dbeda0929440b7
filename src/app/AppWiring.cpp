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

using WorkspaceFactory = DeferredWorkspace::Factory;

std::unique_ptr<FocusSessionManager> systemController(std::shared_ptr<WorkspaceFactory> prepared) {
    auto hostBlocker = std::make_unique<HostBlocker>(
        HostBlockerOptions(), makeDefaultPrivilegedRunner(), makeDefaultDnsCacheFlusher());
    // Made at the first session's start, so opening the window does not wait
    // for the process table and the session bus; what it reads from disk is
    // read ahead once the window shows, or at that start if sooner.
    auto workspace = std::make_unique<DeferredWorkspace>([prepared] {
        // One read ahead serves one workspace; a later one reads for itself.
        const WorkspaceFactory factory = std::exchange(*prepared, nullptr);
        return (factory ? factory : prepareDefaultWorkspace())();
    });
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
    // The read ahead a window's first frame started, until a session's
    // start takes it.
    auto prepared = std::make_shared<WorkspaceFactory>();
    return AppWiring{[prepared] { return systemController(prepared); },
                     makeDefaultInstalledApplications, makeDefaultSessionNotifier,
                     makeDefaultSessionActivity,
                     [prepared] {
                         if (!*prepared)
                             *prepared = prepareDefaultWorkspace();
                     }};
}
