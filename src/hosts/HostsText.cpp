#include "hosts/HostsText.h"

#include "hosts/HostsSection.h"

#include <QUrl>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>
#include <functional>

namespace HostsText {

namespace {

// The line without surrounding white space. Broken UTF-8 decodes to
// replacement characters, which neither trim nor match a marker.
QString trimmedLine(QByteArrayView line) {
    return QString::fromUtf8(line).trimmed();
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

QByteArrayView lineAt(QByteArrayView text, qsizetype start) {
    const qsizetype end = text.indexOf('\n', start);
    return text.sliced(start, (end < 0 ? text.size() : end) - start);
}

// After the line that starts at `start`, or the end of the text.
qsizetype nextLine(QByteArrayView text, qsizetype start) {
    const qsizetype end = text.indexOf('\n', start);
    return end < 0 ? text.size() : end + 1;
}

std::optional<SectionOwner> parseOwner(QByteArrayView line) {
    const QList<QByteArray> parts = line.sliced(kOwnerPrefix.size()).toByteArray().split(' ');
    bool ok = false;
    const uint uid = parts.size() == 3 && parts[1] == "until" ? parts[0].toUInt(&ok) : 0;
    const QDateTime until = QDateTime::fromString(QString::fromLatin1(parts.value(2)), Qt::ISODate);
    if (!ok || !until.isValid())
        return std::nullopt;
    return SectionOwner{uid, until.toUTC()};
}

// The date and owner lines right after a begin marker; returns where the
// header ends.
qsizetype readHeader(QByteArrayView text, qsizetype pos, std::optional<SectionOwner>* owner) {
    for (int k = 0; k < 2 && pos < text.size(); ++k) {
        const QByteArray line = trimmedLine(lineAt(text, pos)).toUtf8();
        if (line.startsWith(kOwnerPrefix))
            *owner = parseOwner(line);
        else if (!line.startsWith(kDatePrefix))
            break;
        pos = nextLine(text, pos);
    }
    return pos;
}

bool isHostCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u'.' || u == u'-' || u == u'_';
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Text pasted from elsewhere: control characters, replacement characters
// from broken encodings and other unprintable ones never belong to a name.
bool isUnprintable(QChar c) {
    return c == QChar::ReplacementCharacter || (!c.isSurrogate() && !c.isPrint());
}

// An IPv6 address, with or without brackets; a port is already cut.
bool looksLikeIpv6(QStringView host) {
    return host.startsWith(u'[') || host.count(u':') >= 2;
}

} // namespace

DomainCheck checkDomain(const QString& entry) {
    const QString lowered = entry.trimmed().toLower();
    if (lowered.isEmpty())
        return {};

    QStringView rest = lowered;
    if (rest.startsWith(u"http://"))
        rest = rest.mid(7);
    else if (rest.startsWith(u"https://"))
        rest = rest.mid(8);

    QString name;
    for (QStringView piece : rest.tokenize(u'/', Qt::SkipEmptyParts)) {
        name = piece.toString();
        break;
    }
    // A scheme and nothing after it.
    if (name.isEmpty())
        return {};
    name.remove(QLatin1Char(' '));
    if (looksLikeIpv6(name))
        return {QString(), NameFault::Address};

    QStringView host = trimmedDots(withoutQueryAndPort(trimmedDots(name)));
    if (std::any_of(host.begin(), host.end(), isUnprintable))
        return {QString(), NameFault::Characters};
    QString ascii;
    if (isAscii(host)) {
        ascii = host.toString();
    } else {
        ascii = QString::fromLatin1(QUrl::toAce(host.toString()));
        if (ascii.isEmpty())
            return {QString(), NameFault::Characters};
    }
    if (ascii.isEmpty())
        return {QString(), NameFault::Shape};
    // Anything else (blanks, tabs, line breaks, '#', ':') could never match a
    // lookup and could break the hosts file's line structure.
    if (!std::all_of(ascii.cbegin(), ascii.cend(), isHostCharacter))
        return {QString(), NameFault::Characters};
    if (const NameFault fault = hostNameFault(ascii.toLatin1()); fault != NameFault::None)
        return {QString(), fault};
    return {ascii, NameFault::None};
}

std::optional<QString> normalizeDomain(const QString& entry) {
    DomainCheck checked = checkDomain(entry);
    if (checked.fault != NameFault::None)
        return std::nullopt;
    return std::move(checked.name);
}

namespace {

// memchr for the first byte runs at memory speed, and in a hosts file that
// byte ('#') is rare: many times faster than a general substring search.
qsizetype findFrom(QByteArrayView text, QByteArrayView probe, qsizetype from) {
    const qsizetype last = text.size() - probe.size();
    while (from <= last) {
        const char* at = text.data() + from;
        const auto* hit =
            static_cast<const char*>(std::memchr(at, probe[0], size_t(last - from + 1)));
        if (!hit)
            return -1;
        from += hit - at;
        if (std::memcmp(hit, probe.data(), size_t(probe.size())) == 0)
            return from;
        ++from;
    }
    return -1;
}

} // namespace

QList<Section> blockSections(QByteArrayView text, QByteArrayView markerStart,
                             QByteArrayView markerEnd) {
    QList<Section> sections;
    if (markerStart.isEmpty() || markerEnd.isEmpty())
        return sections;
    const qsizetype size = text.size();
    qsizetype keptFrom = 0; // nothing before this belongs to a later section
    qsizetype openAt = -1;  // the pending begin marker's line
    const auto close = [&](qsizetype end, bool complete) {
        Section section;
        section.begin = openAt;
        const qsizetype headerEnd = readHeader(text, nextLine(text, openAt), &section.owner);
        section.end = complete ? end : headerEnd;
        section.markerOnly = !complete;
        // The empty line before the marker is the section's own, and at the
        // end of the file so is the line feed that came before it.
        const auto isEmptyLineAt = [&](qsizetype at) {
            return at >= keptFrom && text[at] == '\n' && (at == 0 || text[at - 1] == '\n');
        };
        if (section.begin >= 1 && isEmptyLineAt(section.begin - 1)) {
            --section.begin;
            if (section.end == size && section.begin >= 1 && section.begin - 1 >= keptFrom &&
                text[section.begin - 1] == '\n')
                --section.begin;
        }
        sections.append(section);
        keptFrom = section.end;
        openAt = -1;
    };
    // Only lines holding the markers' common part can be marker lines, so the
    // walk jumps from one such place to the next.
    const QByteArrayView common = markerStart.first(std::min<qsizetype>(
        std::mismatch(markerStart.begin(), markerStart.end(), markerEnd.begin(), markerEnd.end())
                .first -
            markerStart.begin(),
        markerStart.size()));
    const QByteArrayView probe = common.isEmpty() ? markerStart : common;
    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = findFrom(text, probe, from);
        if (hit < 0)
            break;
        const qsizetype lineStart = text.lastIndexOf('\n', hit) + 1;
        const qsizetype lineEnd = nextLine(text, hit);
        qsizetype bodyEnd = lineEnd;
        if (bodyEnd > lineStart && text[bodyEnd - 1] == '\n')
            --bodyEnd;
        const QByteArray key = trimmedLine(text.sliced(lineStart, bodyEnd - lineStart)).toUtf8();
        if (key == markerStart) {
            if (openAt >= 0)
                close(0, false);
            openAt = lineStart;
        } else if (key == markerEnd) {
            if (openAt >= 0) {
                close(lineEnd, true);
            } else {
                sections.append(Section{lineStart, lineEnd, std::nullopt, true});
                keptFrom = lineEnd;
            }
        }
        from = lineEnd;
        if (from >= size)
            break;
    }
    if (openAt >= 0)
        close(0, false);
    return sections;
}

QList<QByteArrayView> keptPieces(QByteArrayView text, const QList<Section>& sections) {
    QList<QByteArrayView> pieces;
    qsizetype at = 0;
    for (const Section& section : sections) {
        pieces.append(text.sliced(at, section.begin - at));
        at = section.end;
    }
    pieces.append(text.sliced(at));
    return pieces;
}

QByteArray withoutSections(QByteArrayView text, const QList<Section>& sections) {
    QByteArray kept;
    kept.reserve(text.size());
    for (const QByteArrayView piece : keptPieces(text, sections))
        kept.append(piece);
    return kept;
}

QByteArray stripExistingBlockSection(QByteArrayView text, QByteArrayView markerStart,
                                     QByteArrayView markerEnd) {
    return withoutSections(text, blockSections(text, markerStart, markerEnd));
}

bool namesNoOwner(const Section& section) {
    return section.markerOnly || !section.owner;
}

bool mayRemove(const Section& section, uint callerUid, const QDateTime& now) {
    if (callerUid == 0)
        return true;
    // A lone marker may be an administrator's own line.
    if (section.markerOnly)
        return false;
    return section.owner && (section.owner->uid == callerUid || section.owner->until <= now);
}

NameFault hostNameFault(QByteArrayView name) {
    if (name.isEmpty())
        return NameFault::Empty;
    if (name.size() > 253)
        return NameFault::Shape;
    if (name == "localhost" || name == "localhost.localdomain" || name == "ip6-localhost" ||
        name == "ip6-loopback" || name.endsWith(".localhost"))
        return NameFault::ThisMachine;
    qsizetype start = 0;
    bool lastAllDigits = false;
    while (start <= name.size()) {
        qsizetype end = name.indexOf('.', start);
        if (end < 0)
            end = name.size();
        const QByteArrayView label = name.sliced(start, end - start);
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return NameFault::Shape;
        bool alphanumeric = false;
        lastAllDigits = true;
        for (char c : label) {
            const bool digit = c >= '0' && c <= '9';
            const bool letterOrDigit = (c >= 'a' && c <= 'z') || digit;
            if (!letterOrDigit && c != '-' && c != '_')
                return NameFault::Characters;
            alphanumeric = alphanumeric || letterOrDigit;
            lastAllDigits = lastAllDigits && digit;
        }
        if (!alphanumeric)
            return NameFault::Shape;
        start = end + 1;
    }
    // No top-level domain is all digits: such a name is an IPv4 address in
    // one of its many spellings.
    if (lastAllDigits)
        return NameFault::Address;
    if (!name.contains('.'))
        return NameFault::NoDot;
    return NameFault::None;
}

bool isHostName(QByteArrayView name) {
    return hostNameFault(name) == NameFault::None;
}

namespace {

// By hand: two lines of a section are not worth the locale's machinery in
// the root helper.
QByteArray utcText(const QDateTime& at, bool iso) {
    using namespace std::chrono;
    const sys_seconds time{seconds(at.toSecsSinceEpoch())};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[] = "0000-00-00 00:00:00 +0000";
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, int(date.year()) % 10000, 4);
    put(5, int(unsigned(date.month())), 2);
    put(8, int(unsigned(date.day())), 2);
    put(11, int(clock.hours().count()), 2);
    put(14, int(clock.minutes().count()), 2);
    put(17, int(clock.seconds().count()), 2);
    if (!iso)
        return QByteArray(text, sizeof text - 1);
    text[10] = 'T';
    text[19] = 'Z';
    return QByteArray(text, 20);
}

QByteArray ownerBytes(uint uid, const QDateTime& until) {
    char number[16];
    const auto digits = std::to_chars(number, number + sizeof number, uid);
    QByteArray line = kOwnerPrefix.toByteArray();
    return line.append(number, digits.ptr - number).append(" until ").append(utcText(until, true));
}

} // namespace

QString ownerLine(uint uid, const QDateTime& until) {
    return QString::fromLatin1(ownerBytes(uid, until));
}

QString sectionDate(const QDateTime& when) {
    return QString::fromLatin1(utcText(when, false));
}

QByteArray sectionHead(const QDateTime& when, uint ownerUid, const QDateTime& until) {
    QByteArray head("\n\n");
    return head.append(kMarkerStart)
        .append('\n')
        .append(kDatePrefix)
        .append(utcText(when, false))
        .append('\n')
        .append(ownerBytes(ownerUid, until))
        .append('\n');
}

QByteArray sectionText(const QStringList& hostNames, const QDateTime& when, uint ownerUid,
                       const QDateTime& until) {
    return HostsSection(NameLines::of(hostNames), when, ownerUid, until).text();
}

QStringList blockedNames(const QString& hostName) {
    if (hostName.startsWith(QLatin1String("www.")))
        return {hostName};
    // Sized once: the helper makes one for each of up to 100,000 names.
    QString www;
    www.reserve(4 + hostName.size());
    www.append(QLatin1StringView("www.")).append(hostName);
    return {hostName, www};
}

} // namespace HostsText
