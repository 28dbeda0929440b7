#pragma once

#include "platform/InstalledApplications.h"

#include <QProcessEnvironment>

#include <memory>

class DesktopEntryIndex;

// The desktop entries the workspace indexes, Flatpak and Snap exports
// included. The index is read at the first list(), not at construction.
class LinuxInstalledApplications : public InstalledApplications {
public:
    explicit LinuxInstalledApplications(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    ~LinuxInstalledApplications() override;

    QList<InstalledApplication> list() override;

private:
    QProcessEnvironment m_environment;
    std::unique_ptr<DesktopEntryIndex> m_index;
};
