#include "ui/ApplicationIdTexts.h"

#include <QCoreApplication>

ApplicationIdTexts applicationIdTexts(const QStringList&) {
    // The card title and the placeholder are data, shown as they are.
    return {QStringLiteral("Apps (Bundle ID)"), QStringLiteral("com.google.Chrome"),
            QCoreApplication::translate("SessionCard",
                                        "Tip: Use app bundle IDs (for example, "
                                        "com.google.Chrome). Websites are blocked system-wide "
                                        "through /etc/hosts.")};
}
