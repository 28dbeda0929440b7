#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Pure text work on the hosts file: no I/O, no privileges. Lines are views
// into the caller's text, so a 3 MB file is walked without copying it.
namespace HostsText {

using Lines = QList<QStringView>;

// Website entry to host name; nothing when the entry names no usable host.
std::optional<QString> normalizeDomain(const QString& entry);

// Trims the white space the hosts format cares about: Unicode space
// separators, tab, U+000A to U+000D and U+0085.
QStringView trimmed(QStringView text);

// Splits at line feeds only; a CR before LF stays in its line. Empty pieces
// stay, so joining with single line feeds gives the text back.
Lines splitLines(QStringView text);

// Removes every block section and the one empty line that directly precedes
// each begin marker, so appending and then removing a section is lossless.
Lines stripExistingBlockSection(const Lines& lines, QStringView markerStart, QStringView markerEnd);

// The section's lines, the opening empty line first, for host names in any
// order and with duplicates.
QStringList blockSection(QStringList hostNames, const QDateTime& when, const QString& markerStart,
                         const QString& markerEnd);

// "yyyy-MM-dd HH:mm:ss +0000" in UTC.
QString sectionDate(const QDateTime& when);

// Joins both runs of lines with single line feeds, no final line feed.
QString joinLines(const Lines& head, const QStringList& tail = {});

} // namespace HostsText
