#pragma once

#include "platform/InstalledApplications.h"

#include <QThread>

// The installed applications a test names.
class FakeInstalledApplications : public InstalledApplications {
public:
    explicit FakeInstalledApplications(QList<InstalledApplication> applications = {})
        : m_applications(std::move(applications)) {}

    QList<InstalledApplication> list() override {
        m_listedOn = QThread::currentThread();
        return m_applications;
    }
    QThread* listedOn() const { return m_listedOn; }

private:
    QList<InstalledApplication> m_applications;
    QThread* m_listedOn = nullptr;
};
