#include "platform/macos/MacInstalledApplications.h"

QList<InstalledApplication> MacInstalledApplications::list() {
    return {};
}
