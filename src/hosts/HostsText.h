#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <QList>

#include <optional>

// Pure text work on the hosts file: no I/O, no privileges. The file's text is
// handled as UTF-8 bytes, which keeps it byte for byte and spares a 3 MB file
// two conversions.
namespace HostsText {

// The longest session, and so the furthest ahead a block section ends: the
// helper refuses longer and the window offers no more.
inline constexpr qint64 kLongestSessionSecs = 60 * 60;

// The most host names one block holds, each name counted once however
// many entries give it: the helper refuses more, and the lists stop there.
inline constexpr int kMostBlockedNames = 100000;

// The lines that open and close a block section of ours.
inline constexpr QByteArrayView kMarkerStart = "# Tarnhollow:BEGIN";
inline constexpr QByteArrayView kMarkerEnd = "# Tarnhollow:END";
// What each line of a section begins with.
inline constexpr QByteArrayView kAddressPrefix = "127.0.0.1 ";

// The names a blocked host name covers: itself, and its www. form unless it
// is one.
QStringList blockedNames(const QString& hostName);

// Why a text is no host name a block can hold; None when it is one.
enum class NameFault {
    None,
    Empty,
    NoDot,       // a single label never reaches a website
    Address,     // an IP address: the hosts file maps names, never addresses
    ThisMachine, // localhost and its kin
    Characters,  // outside letters, digits, '-', '_' and '.'
    Shape,       // empty or overlong labels, hyphens at a label's edge
};

// Website entry to host name, or why it names no host a block can hold.
struct DomainCheck {
    QString name; // empty unless fault is None
    NameFault fault = NameFault::Empty;
};
DomainCheck checkDomain(const QString& entry);
// Website entry to host name; nothing when the entry names no usable host.
std::optional<QString> normalizeDomain(const QString& entry);

// Who wrote a block section and when it ends: "# Tarnhollow:owner <uid>
// until <UTC time>" after the date line.
struct SectionOwner {
    uint uid = 0;
    QDateTime until;
};

// A block section as it stands in the file: the bytes from `begin` to `end`
// go when it is removed. Those are its marker lines and what lies between
// them, the one empty line directly before its begin marker and, when the
// section ends the file after such a line, the line feed before that empty
// line: exactly what appending it added, so that removing it again is
// lossless and every kept line keeps its own line feed.
//
// Marker lines are recognised with blanks, tabs and other Unicode white
// space around them; only they and the owner lines are read as text, the
// rest of the file may hold any bytes. A begin marker without an end takes
// along only the date and owner lines right after it, and an end marker
// without a begin only itself: nothing that could be somebody else's line.
struct Section {
    qsizetype begin = 0;
    qsizetype end = 0;
    std::optional<SectionOwner> owner;
    // A marker left alone, which blocks nothing.
    bool markerOnly = false;
};
QList<Section> blockSections(QByteArrayView text, QByteArrayView markerStart,
                             QByteArrayView markerEnd);

// `text` without the given sections (in file order, as blockSections gives).
QByteArray withoutSections(QByteArrayView text, const QList<Section>& sections);
// The same as views into `text`, for writing without a copy.
QList<QByteArrayView> keptPieces(QByteArrayView text, const QList<Section>& sections);
QByteArray stripExistingBlockSection(QByteArrayView text, QByteArrayView markerStart,
                                     QByteArrayView markerEnd);

// Who may remove a section: its owner, anyone once it has ended, root
// always. One without a readable owner line, and a lone marker, is root's
// alone.
bool mayRemove(const Section& section, uint callerUid, const QDateTime& now);

// A section that names no owner, or a lone marker: only an administrator's
// run removes it.
bool namesNoOwner(const Section& section);

QString ownerLine(uint uid, const QDateTime& until);

// A name the hosts file can hold for a site: at least two dot-separated
// labels of [a-z0-9_-], none empty, none starting or ending with '-', each
// with a letter or digit, at most 63 bytes a label and 253 in all, the last
// not all digits (that is an address); never the machine's own name for
// itself. The helper and the window both judge names by this.
NameFault hostNameFault(QByteArrayView name);
bool isHostName(QByteArrayView name);

// What appending a block section adds after the kept text: the line feed
// that ends the last kept line, the section's own empty line, its markers,
// date and owner lines and a line per blocked name (itself and its www. form,
// each also with a trailing dot), and a final line feed. For ASCII host
// names in any order and with duplicates.
QByteArray sectionText(const QStringList& hostNames, const QDateTime& when, uint ownerUid,
                       const QDateTime& until);
// Its lines up to the first name's: the empty lines, begin marker, date and
// owner lines.
QByteArray sectionHead(const QDateTime& when, uint ownerUid, const QDateTime& until);

// "yyyy-MM-dd HH:mm:ss +0000" in UTC.
QString sectionDate(const QDateTime& when);

} // namespace HostsText
