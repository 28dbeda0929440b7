#include "platform/PlatformDefaults.h"
#include "platform/SessionActivity.h"
#include "platform/Workspace.h"
#include "platform/linux/hosts/LinuxDnsCacheFlusher.h"
#include "platform/linux/hosts/LinuxPrivilegedRunner.h"
#include "platform/linux/notify/DesktopNotifier.h"
#include "platform/linux/workspace/DesktopEntryIndex.h"
#include "platform/linux/workspace/LinuxInstalledApplications.h"
#include "platform/linux/workspace/LinuxWorkspace.h"

#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <ctime>

namespace {

// Linux does not throttle a hidden window's timers.
class NoSessionActivity : public SessionActivity {
public:
    void begin() override {}
    void end() override {}
};

} // namespace

std::unique_ptr<PrivilegedRunner> makeDefaultPrivilegedRunner() {
    return std::make_unique<LinuxPrivilegedRunner>();
}

std::unique_ptr<DnsCacheFlusher> makeDefaultDnsCacheFlusher() {
    return std::make_unique<LinuxDnsCacheFlusher>();
}

std::function<std::unique_ptr<Workspace>()> prepareDefaultWorkspace() {
    // The desktop entries take the longest: hundreds of files.
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QFuture<std::unique_ptr<DesktopEntryIndex>> index = QtConcurrent::run(
        [environment] { return std::make_unique<DesktopEntryIndex>(environment); });
    return [index, environment]() mutable -> std::unique_ptr<Workspace> {
        return std::make_unique<LinuxWorkspace>(LinuxWorkspace::Options{environment},
                                                QDBusConnection::sessionBus(), index.takeResult());
    };
}

std::unique_ptr<SessionNotifier> makeDefaultSessionNotifier() {
    return std::make_unique<DesktopNotifier>();
}

std::unique_ptr<SessionActivity> makeDefaultSessionActivity() {
    return std::make_unique<NoSessionActivity>();
}

std::unique_ptr<InstalledApplications> makeDefaultInstalledApplications() {
    return std::make_unique<LinuxInstalledApplications>();
}

QString defaultAutostartEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/org.tarnhollow.Tarnhollow-session.desktop");
}

int defaultSessionClockId() {
    return CLOCK_BOOTTIME;
}
