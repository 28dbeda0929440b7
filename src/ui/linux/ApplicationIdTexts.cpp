#include "ui/ApplicationIdTexts.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// Desktop-entry IDs of common applications as distributions ship them, the
// most likely first.
const char* const commonIds[] = {
    "firefox-esr",           "firefox",         "org.mozilla.firefox", "chromium",
    "org.chromium.Chromium", "google-chrome",   "thunderbird",         "org.mozilla.Thunderbird",
    "org.gnome.TextEditor",  "org.gnome.gedit", "org.kde.kate",        "libreoffice-writer",
};

} // namespace

ApplicationIdTexts applicationIdTexts(const QStringList& installedIds) {
    const QString title = QCoreApplication::translate("ContentView", "Apps (Application ID)");
    for (const char* common : commonIds) {
        const auto found = std::find_if(
            installedIds.begin(), installedIds.end(), [common](const QString& installed) {
                return installed.compare(QLatin1String(common), Qt::CaseInsensitive) == 0;
            });
        if (found == installedIds.end())
            continue;
        // The placeholder is data, shown as it is.
        return {title, *found,
                QCoreApplication::translate("SessionCard",
                                            "Tip: Use application IDs (for example, %1). Websites "
                                            "are blocked system-wide through /etc/hosts.")
                    .arg(*found)};
    }
    return {title, QCoreApplication::translate("ContentView", "Application ID"),
            QCoreApplication::translate(
                "SessionCard", "Tip: Use application IDs, the name of an application's .desktop "
                               "file; typing its name offers the ID. Websites are blocked "
                               "system-wide through /etc/hosts.")};
}
