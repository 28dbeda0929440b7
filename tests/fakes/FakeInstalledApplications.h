#pragma once

#include "platform/InstalledApplications.h"

// The installed applications a test names.
class FakeInstalledApplications : public InstalledApplications {
public:
    explicit FakeInstalledApplications(QList<InstalledApplication> applications = {})
        : m_applications(std::move(applications)) {}

    QList<InstalledApplication> list() override { return m_applications; }

private:
    QList<InstalledApplication> m_applications;
};
