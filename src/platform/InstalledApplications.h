#pragma once

#include <QList>
#include <QString>

// One application the user could start.
struct InstalledApplication {
    // Desktop-entry ID (Linux) or bundle identifier (macOS).
    QString id;
    QString name;
    // A theme icon name or an icon file's path; may be empty.
    QString iconName;
};

// The installed applications, so that the user can find an application's ID
// by its name.
class InstalledApplications {
public:
    virtual ~InstalledApplications() = default;

    // Reads the system's list; may take a moment, so never call it before the
    // window is on screen.
    virtual QList<InstalledApplication> list() = 0;
};
