#include "services/HostsText.h"

#include <QUrl>

#include <algorithm>
#include <cstring>

namespace HostsText {

namespace {

// White space and line breaks: Unicode space separators, tab, U+000A to
// U+000D and U+0085.
bool isTrimmable(char32_t u) {
    if (u == U' ' || (u >= 0x09 && u <= 0x0D))
        return true;
    if (u < 0x80)
        return false;
    if (u == 0x85)
        return true;
    const QChar::Category category = QChar::category(u);
    return category == QChar::Separator_Space || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    // Every trimmable character lies in the Basic Multilingual Plane.
    while (begin < end && isTrimmable(text[begin].unicode()))
        ++begin;
    while (end > begin && isTrimmable(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

// The code point of the UTF-8 sequence at text[i], and its length; a length
// of 0 for a broken sequence.
std::pair<char32_t, int> decodeAt(QByteArrayView text, qsizetype i) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size())
        return {0, 0};
    char32_t u = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return {0, 0};
        u = (u << 6) | (byte(i + k) & 0x3F);
    }
    return {u, length};
}

// The line without surrounding white space, as far as it decodes.
QByteArrayView trimmedLine(QByteArrayView line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end) {
        const auto [u, length] = decodeAt(line, begin);
        if (length == 0 || !isTrimmable(u))
            break;
        begin += length;
    }
    while (end > begin) {
        qsizetype start = end - 1;
        while (start > begin && (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80)
            --start;
        const auto [u, length] = decodeAt(line, start);
        if (length != end - start || !isTrimmable(u))
            break;
        end = start;
    }
    return line.sliced(begin, end - begin);
}

QStringView trimmedDots(QStringView text) {
    while (text.startsWith(u'.'))
        text = text.mid(1);
    while (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

// Cuts what never belongs to a host name but is easily pasted with one:
// a query or fragment, and a port.
QStringView withoutQueryAndPort(QStringView name) {
    for (QChar stop : {QChar(u'?'), QChar(u'#')}) {
        if (const qsizetype at = name.indexOf(stop); at >= 0)
            name = name.left(at);
    }
    const qsizetype colon = name.lastIndexOf(u':');
    if (colon >= 0 && colon + 1 < name.size()) {
        const QStringView port = name.mid(colon + 1);
        if (std::all_of(port.begin(), port.end(),
                        [](QChar c) { return c.isDigit() && c < u'\x80'; }))
            name = name.left(colon);
    }
    return name;
}

constexpr QByteArrayView kDatePrefix = "# Added by Tarnhollow on ";
constexpr QByteArrayView kOwnerPrefix = "# Tarnhollow:owner ";
constexpr QByteArrayView kAddressPrefix = "127.0.0.1 ";

// Lines that only our own writer puts into a section.
bool isWrittenSectionLine(QByteArrayView line) {
    if (line.isEmpty() || line.startsWith(kDatePrefix) || line.startsWith(kOwnerPrefix))
        return true;
    if (!line.startsWith(kAddressPrefix) || line.size() == kAddressPrefix.size())
        return false;
    const QByteArrayView name = line.sliced(kAddressPrefix.size());
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    });
}

bool isHostCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u'.' || u == u'-' || u == u'_';
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

std::optional<QString> normalizeDomain(const QString& entry) {
    const QString lowered = trimmed(entry).toString().toLower();
    if (lowered.isEmpty())
        return std::nullopt;

    QStringView rest = lowered;
    if (rest.startsWith(u"http://"))
        rest = rest.mid(7);
    else if (rest.startsWith(u"https://"))
        rest = rest.mid(8);

    QString name = lowered;
    for (QStringView piece : rest.tokenize(u'/', Qt::SkipEmptyParts)) {
        name = piece.toString();
        break;
    }
    name.remove(QLatin1Char(' '));

    QStringView host = trimmedDots(withoutQueryAndPort(trimmedDots(name)));
    QString ascii;
    if (isAscii(host)) {
        ascii = host.toString();
    } else {
        ascii = QString::fromLatin1(QUrl::toAce(host.toString()));
        if (ascii.isEmpty())
            return std::nullopt;
    }
    // Anything else (blanks, tabs, line breaks, '#', ':') could never match a
    // lookup and could break the hosts file's line structure.
    if (ascii.isEmpty() || !std::all_of(ascii.cbegin(), ascii.cend(), isHostCharacter))
        return std::nullopt;
    return ascii;
}

QByteArray stripExistingBlockSection(QByteArray text, QByteArrayView markerStart,
                                     QByteArrayView markerEnd) {
    const qsizetype size = text.size();
    text.resize(size + 1); // room for the last line's line feed
    char* data = text.data();
    if (markerStart.isEmpty() || markerEnd.isEmpty()) {
        data[size] = '\n';
        return text;
    }

    // Kept bytes are moved down to `write`; [runStart, ...) is not yet
    // handled. Only lines holding a marker's first byte can be marker lines,
    // so the walk jumps from one such byte to the next.
    qsizetype write = 0;
    qsizetype runStart = 0;
    qsizetype lastMarkerEnd = -1;
    bool inside = false;
    auto keep = [&](qsizetype end) {
        if (write != runStart)
            std::memmove(data + write, data + runStart, end - runStart);
        write += end - runStart;
    };
    auto next = [&](char c, qsizetype from) {
        const void* hit = std::memchr(data + from, c, size - from);
        return hit ? static_cast<const char*>(hit) - data : size;
    };
    const char first[2] = {markerStart[0], markerEnd[0]};
    qsizetype from = 0;
    for (;;) {
        qsizetype candidate[2] = {-1, -1};
        while (from < size) {
            for (int k = 0; k < 2; ++k) {
                if (candidate[k] < from)
                    candidate[k] = next(first[k], from);
            }
            const qsizetype hit = std::min(candidate[0], candidate[1]);
            if (hit >= size)
                break;
            qsizetype lineStart = hit;
            while (lineStart > from && data[lineStart - 1] != '\n')
                --lineStart;
            const qsizetype lineEnd = next('\n', hit);
            const QByteArrayView key =
                trimmedLine(QByteArrayView(data + lineStart, lineEnd - lineStart));
            if (key == markerStart) {
                if (!inside) {
                    // The empty line before a begin marker is the section's own.
                    const bool emptyBefore = lineStart - 1 >= runStart &&
                                             (lineStart == 1 || data[lineStart - 2] == '\n');
                    keep(emptyBefore ? lineStart - 1 : lineStart);
                    inside = true;
                }
                runStart = lineEnd + 1;
                lastMarkerEnd = lineEnd;
            } else if (key == markerEnd) {
                if (!inside)
                    keep(lineStart);
                inside = false;
                runStart = lineEnd + 1;
                lastMarkerEnd = lineEnd;
            }
            from = lineEnd + 1;
        }
        if (!inside)
            break;
        // A begin marker without an end: only the lines our own writer makes
        // go with it, up to the first line of anybody else's.
        qsizetype pos = runStart;
        while (pos <= size) {
            const qsizetype lineEnd = next('\n', pos);
            if (!isWrittenSectionLine(QByteArrayView(data + pos, lineEnd - pos)))
                break;
            pos = lineEnd + 1;
        }
        runStart = from = pos;
        inside = false;
    }
    // The line feed after a final end marker belongs to the section.
    const bool sectionEndsFile =
        lastMarkerEnd >= 0 && runStart == size && lastMarkerEnd == size - 1;
    if (runStart <= size && !sectionEndsFile) {
        keep(size);
        data[write++] = '\n';
    }
    text.resize(write);
    return text;
}

bool hasBlockSection(QByteArrayView text, QByteArrayView markerStart, QByteArrayView markerEnd) {
    return joined(stripExistingBlockSection(text.toByteArray(), markerStart, markerEnd)) != text;
}

std::optional<SectionOwner> sectionOwner(QByteArrayView text, QByteArrayView markerStart) {
    qsizetype at = 0;
    bool afterBegin = false;
    int linesAfterBegin = 0;
    while (at <= text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = trimmedLine(text.sliced(at, end - at));
        if (line == markerStart) {
            afterBegin = true;
            linesAfterBegin = 0;
        } else if (afterBegin && ++linesAfterBegin <= 2 && line.startsWith(kOwnerPrefix)) {
            const QList<QByteArray> parts =
                line.sliced(kOwnerPrefix.size()).toByteArray().split(' ');
            bool ok = false;
            const uint uid = parts.size() == 3 && parts[1] == "until" ? parts[0].toUInt(&ok) : 0;
            const QDateTime until =
                QDateTime::fromString(QString::fromLatin1(parts.value(2)), Qt::ISODate);
            if (ok && until.isValid())
                return SectionOwner{uid, until.toUTC()};
            return std::nullopt;
        }
        at = end + 1;
    }
    return std::nullopt;
}

QString ownerLine(uint uid, const QDateTime& until) {
    return QString::fromLatin1(kOwnerPrefix) + QString::number(uid) + QStringLiteral(" until ") +
           until.toUTC().toString(Qt::ISODate);
}

QString sectionDate(const QDateTime& when) {
    const QDateTime utc = when.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    const QLatin1Char zero('0');
    return QStringLiteral("%1-%2-%3 %4:%5:%6 +0000")
        .arg(d.year(), 4, 10, zero)
        .arg(d.month(), 2, 10, zero)
        .arg(d.day(), 2, 10, zero)
        .arg(t.hour(), 2, 10, zero)
        .arg(t.minute(), 2, 10, zero)
        .arg(t.second(), 2, 10, zero);
}

QStringList blockSection(QStringList hostNames, const QDateTime& when, uint ownerUid,
                         const QDateTime& until, const QString& markerStart,
                         const QString& markerEnd) {
    if (!std::is_sorted(hostNames.begin(), hostNames.end()))
        std::sort(hostNames.begin(), hostNames.end());
    hostNames.erase(std::unique(hostNames.begin(), hostNames.end()), hostNames.end());

    QStringList section;
    section.reserve(hostNames.size() * 2 + 4);
    section << QString() << markerStart
            << QStringLiteral("# Added by Tarnhollow on ") + sectionDate(when)
            << ownerLine(ownerUid, until);
    for (const QString& name : std::as_const(hostNames)) {
        section << QStringLiteral("127.0.0.1 ") + name;
        if (!name.startsWith(QLatin1String("www.")))
            section << QStringLiteral("127.0.0.1 www.") + name;
    }
    // The final line feed keeps a line appended later off the end marker.
    section << markerEnd << QString();
    return section;
}

QByteArray joined(QByteArray keptLines, const QStringList& appended) {
    if (appended.isEmpty()) {
        keptLines.chop(1);
        return keptLines;
    }
    qsizetype size = keptLines.size() + appended.size();
    for (const QString& line : appended)
        size += line.size();
    keptLines.reserve(size);
    for (qsizetype i = 0; i < appended.size(); ++i) {
        if (i > 0)
            keptLines.append('\n');
        keptLines.append(appended[i].toUtf8());
    }
    return keptLines;
}

} // namespace HostsText
