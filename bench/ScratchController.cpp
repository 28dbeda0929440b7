#include "ScratchController.h"

#include "fakes/DirectShellRunner.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/NullDnsCacheFlusher.h"
#include "fakes/SteadyClock.h"
#include "services/FocusStore.h"
#include "services/HostBlocker.h"

#include <QFile>

std::unique_ptr<FocusSessionManager> scratchController(const QTemporaryDir& scratch) {
    QFile hosts(scratch.filePath(QStringLiteral("hosts")));
    if (!hosts.exists() && hosts.open(QIODevice::WriteOnly))
        hosts.write("127.0.0.1 localhost\n");
    hosts.close();
    HostBlockerOptions options;
    options.hostsPath = hosts.fileName();
    return std::make_unique<FocusSessionManager>(
        std::make_unique<FocusStore>(scratch.filePath(QStringLiteral("focus-config.json"))),
        std::make_unique<HostBlocker>(
            options, std::make_unique<DirectShellRunner>(options.hostsPath, scratch.path()),
            std::make_unique<NullDnsCacheFlusher>()),
        std::make_unique<FakeWorkspace>(), std::chrono::seconds(1),
        SessionOptions{std::make_unique<SessionRecordStore>(
                           scratch.filePath(QStringLiteral("session.json")),
                           scratch.filePath(QStringLiteral("autostart.desktop")),
                           QStringLiteral("/bin/true")),
                       steadyClock()});
}
