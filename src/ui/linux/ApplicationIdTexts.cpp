#include "ui/ApplicationIdTexts.h"

#include <QCoreApplication>

ApplicationIdTexts applicationIdTexts() {
    // The placeholder is data, shown as it is.
    return {QCoreApplication::translate("ContentView", "Apps (Application ID)"),
            QStringLiteral("org.mozilla.firefox"),
            QCoreApplication::translate("SessionCard",
                                        "Tip: Use application IDs (for example, "
                                        "org.mozilla.firefox). Websites are blocked system-wide "
                                        "through /etc/hosts.")};
}
