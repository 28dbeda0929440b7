// Applies or clears the block section of the real hosts path with the real
// Linux runner. Only meant to run inside a private mount namespace where a
// temporary file is bound over the hosts file.
//   hosts_blocker_helper apply STAGING_DIR ENTRY...
//   hosts_blocker_helper clear STAGING_DIR
#include "fakes/NullDnsCacheFlusher.h"
#include "platform/linux/LinuxPrivilegedRunner.h"
#include "services/HostBlocker.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || (args[0] != "apply" && args[0] != "clear")) {
        QTextStream(stderr) << "usage: hosts_blocker_helper apply|clear STAGING_DIR [ENTRY...]\n";
        return 2;
    }
    HostBlockerOptions options;
    options.temporaryDirectory = args[1];
    HostBlocker blocker(options, std::make_unique<LinuxPrivilegedRunner>(),
                        std::make_unique<NullDnsCacheFlusher>());
    const auto result = args[0] == "apply" ? blocker.apply(args.mid(2)) : blocker.clear();
    if (!result.ok()) {
        QTextStream(stderr) << result.error().errorDescription().value_or("failed") << "\n";
        return 1;
    }
    return 0;
}
