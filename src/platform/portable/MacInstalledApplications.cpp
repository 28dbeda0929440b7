#include "platform/portable/MacInstalledApplications.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

bool isBundle(const QFileInfo& entry) {
    return entry.suffix().compare(QLatin1String("app"), Qt::CaseInsensitive) == 0;
}

QFileInfoList folders(const QString& path) {
    return QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// The bundles at the top of `root` and in its plain folders, never inside a
// bundle: an application's helpers are not applications the user starts.
QStringList bundlesUnder(const QString& root) {
    QStringList bundles;
    for (const QFileInfo& entry : folders(root)) {
        if (isBundle(entry)) {
            bundles.append(entry.filePath());
            continue;
        }
        for (const QFileInfo& inner : folders(entry.filePath())) {
            if (isBundle(inner))
                bundles.append(inner.filePath());
        }
    }
    return bundles;
}

} // namespace

MacInstalledApplications::MacInstalledApplications(QStringList roots, BundleInfoReader readInfo)
    : m_roots(std::move(roots)), m_readInfo(std::move(readInfo)) {}

QList<InstalledApplication> MacInstalledApplications::list() {
    QList<InstalledApplication> applications;
    QSet<QString> seen;
    for (const QString& root : m_roots) {
        for (const QString& bundle : bundlesUnder(root)) {
            const std::optional<BundleInfo> info = m_readInfo(bundle);
            // Without an identifier the bundle cannot be blocked by it.
            if (!info || info->identifier.isEmpty() || seen.contains(info->identifier))
                continue;
            seen.insert(info->identifier);
            QString name = !info->displayName.isEmpty() ? info->displayName
                           : !info->name.isEmpty()      ? info->name
                                                        : QFileInfo(bundle).completeBaseName();
            applications.append({info->identifier, std::move(name), info->iconPath});
        }
    }
    // Stable, so that equal names keep the order of their roots.
    std::stable_sort(applications.begin(), applications.end(), [](const auto& a, const auto& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return applications;
}
