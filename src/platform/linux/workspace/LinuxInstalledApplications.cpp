#include "platform/linux/workspace/LinuxInstalledApplications.h"

#include "platform/linux/workspace/DesktopEntryIndex.h"

#include <algorithm>

LinuxInstalledApplications::LinuxInstalledApplications(QProcessEnvironment environment)
    : m_environment(std::move(environment)) {}

LinuxInstalledApplications::~LinuxInstalledApplications() = default;

QList<InstalledApplication> LinuxInstalledApplications::list() {
    if (m_index)
        m_index->refreshIfChanged();
    else
        m_index = std::make_unique<DesktopEntryIndex>(m_environment);

    QList<InstalledApplication> applications;
    for (const DesktopEntryIndex::Entry& entry : m_index->entries()) {
        // Hidden marks an entry the user or the system deleted. NoDisplay
        // ones stay: they are installed and can be blocked.
        if (entry.hidden)
            continue;
        applications.append(
            {entry.id, entry.name.isEmpty() ? entry.id : entry.name, entry.iconName});
    }
    std::sort(applications.begin(), applications.end(), [](const auto& a, const auto& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return applications;
}
