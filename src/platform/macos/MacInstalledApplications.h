#pragma once

#include "platform/InstalledApplications.h"

// Lists nothing yet: on macOS bundle IDs are typed by hand.
class MacInstalledApplications : public InstalledApplications {
public:
    QList<InstalledApplication> list() override;
};
