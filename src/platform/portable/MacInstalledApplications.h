#pragma once

#include "platform/InstalledApplications.h"

#include <QStringList>

#include <functional>
#include <optional>

// What an application bundle's Info.plist says about it; empty where a key
// is missing.
struct BundleInfo {
    QString identifier;
    QString displayName;
    QString name;
    // The icon file's path; empty where the bundle names none it has.
    QString iconPath;
};

// Reads the bundle at a path; nothing for one that cannot be read.
using BundleInfoReader = std::function<std::optional<BundleInfo>(const QString& bundlePath)>;

// The application bundles at the top of each root folder and one plain
// folder down. Plain Qt around the reader, so that it is tested on Linux too.
class MacInstalledApplications : public InstalledApplications {
public:
    // An earlier root wins a bundle identifier found twice. `readInfo` may
    // be called from any thread.
    MacInstalledApplications(QStringList roots, BundleInfoReader readInfo);

    // Touches no member state beyond the constant roots and reader, so it
    // may run off the window's thread.
    QList<InstalledApplication> list() override;

private:
    const QStringList m_roots;
    const BundleInfoReader m_readInfo;
};
