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

// Who wrote a block section and when it ends: "# Tarnhollow:owner <uid>
// until <UTC time>" after the date line.
struct SectionOwner {
    uint uid = 0;
    QDateTime until;
};

// Removes every block section from UTF-8 text whose lines are separated by
// line feeds (a CR before LF stays part of its line), together with the one
// empty line directly before each begin marker, so that appending a section
// and removing it again is lossless. Marker lines are recognised with blanks,
// tabs and other Unicode white space around them.
//
// A begin marker without an end takes along only the lines our writer
// makes (date, owner, "127.0.0.1 <name>", empty lines) up to the first other
// line. The line feed after a final end marker is the section's own.
//
// Returns the kept lines each followed by a line feed: empty when no line is
// kept, "\n" for one empty line.
// Works in place when `text` is moved in. Markers are never empty.
QByteArray stripExistingBlockSection(QByteArray text, QByteArrayView markerStart,
                                     QByteArrayView markerEnd);

bool hasBlockSection(QByteArrayView text, QByteArrayView markerStart, QByteArrayView markerEnd);

// The owner line of the first section, if it has a readable one.
std::optional<SectionOwner> sectionOwner(QByteArrayView text, QByteArrayView markerStart);
QString ownerLine(uint uid, const QDateTime& until);

// The section's lines, the opening empty line first and an empty last line
// (the final line feed), for host names in any order and with duplicates.
QStringList blockSection(QStringList hostNames, const QDateTime& when, uint ownerUid,
                         const QDateTime& until, const QString& markerStart,
                         const QString& markerEnd);

// "yyyy-MM-dd HH:mm:ss +0000" in UTC.
QString sectionDate(const QDateTime& when);

// The whole file again from stripExistingBlockSection()'s result and the
// lines to append (none for a file without a section).
QByteArray joined(QByteArray keptLines, const QStringList& appended = {});

} // namespace HostsText
