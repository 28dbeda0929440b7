#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// Pure text work on the hosts file: no I/O, no privileges. The file's text is
// handled as UTF-8 bytes, which keeps it byte for byte and spares a 3 MB file
// two conversions.
namespace HostsText {

// Website entry to host name; nothing when the entry names no usable host.
std::optional<QString> normalizeDomain(const QString& entry);

// Removes every block section from UTF-8 text whose lines are separated by
// line feeds (a CR before LF stays part of its line), together with the one
// empty line directly before each begin marker, so that appending a section
// and removing it again is lossless. Marker lines are recognised with blanks,
// tabs and other Unicode white space around them.
//
// Returns the kept lines each followed by a line feed: empty when no line is
// kept, "\n" for one empty line.
// Works in place when `text` is moved in. Markers are never empty.
QByteArray stripExistingBlockSection(QByteArray text, QByteArrayView markerStart,
                                     QByteArrayView markerEnd);

// The section's lines, the opening empty line first, for host names in any
// order and with duplicates.
QStringList blockSection(QStringList hostNames, const QDateTime& when, const QString& markerStart,
                         const QString& markerEnd);

// "yyyy-MM-dd HH:mm:ss +0000" in UTC.
QString sectionDate(const QDateTime& when);

// The whole file again from stripExistingBlockSection()'s result and the
// lines to append (none for a file without a section).
QByteArray joined(QByteArray keptLines, const QStringList& appended = {});

} // namespace HostsText
