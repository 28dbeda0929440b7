#include "services/HostsText.h"
// Placeholder: implemented with the website-blocking work.
namespace HostsText {
std::optional<QString> normalizeDomain(const QString&) { return std::nullopt; }
QStringList splitLines(const QString& text) { return text.split(QLatin1Char('\n')); }
QStringList stripExistingBlockSection(const QStringList& lines, const QString&, const QString&) { return lines; }
QStringList blockSection(QStringList, const QDateTime&, const QString&, const QString&) { return {}; }
} // namespace HostsText
