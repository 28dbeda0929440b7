#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// Pure text work on the hosts file: no I/O, no privileges.
namespace HostsText {

// Website entry to host name; nothing when the entry names no usable host.
std::optional<QString> normalizeDomain(const QString& entry);

// Splits at line feeds only; a CR before LF stays in its line.
QStringList splitLines(const QString& text);

// Removes every block section and the one empty line that opens each.
QStringList stripExistingBlockSection(const QStringList& lines, const QString& markerStart,
                                      const QString& markerEnd);

// The section's lines, the opening empty line first, for already
// normalised, de-duplicated names in any order.
QStringList blockSection(QStringList hostNames, const QDateTime& when, const QString& markerStart,
                         const QString& markerEnd);

} // namespace HostsText
