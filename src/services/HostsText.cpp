#include "services/HostsText.h"

#include <QUrl>

#include <algorithm>

namespace HostsText {

namespace {

bool isTrimmable(QChar c) {
    const char16_t u = c.unicode();
    if (u == u' ' || (u >= 0x09 && u <= 0x0D))
        return true;
    if (u < 0x80)
        return false;
    if (u == 0x85)
        return true;
    const QChar::Category category = c.category();
    return category == QChar::Separator_Space || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
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
    const qsizetype cut =
        std::min<qsizetype>(name.indexOf(u'?') < 0 ? name.size() : name.indexOf(u'?'),
                            name.indexOf(u'#') < 0 ? name.size() : name.indexOf(u'#'));
    name = name.left(cut);
    const qsizetype colon = name.lastIndexOf(u':');
    if (colon >= 0 && colon + 1 < name.size()) {
        const QStringView port = name.mid(colon + 1);
        if (std::all_of(port.begin(), port.end(),
                        [](QChar c) { return c.isDigit() && c < u'\x80'; }))
            name = name.left(colon);
    }
    return name;
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

QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmable(text[begin]))
        ++begin;
    while (end > begin && isTrimmable(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

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

Lines splitLines(QStringView text) {
    Lines lines;
    lines.reserve(text.count(u'\n') + 1);
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = text.indexOf(u'\n', start);
        if (lf < 0)
            break;
        lines.append(text.sliced(start, lf - start));
        start = lf + 1;
    }
    lines.append(text.sliced(start));
    return lines;
}

Lines stripExistingBlockSection(const Lines& lines, QStringView markerStart,
                                QStringView markerEnd) {
    Lines kept;
    kept.reserve(lines.size());
    bool inside = false;
    bool lastKeptWasEmptyAndAdjacent = false;
    for (QStringView line : lines) {
        const QStringView key = trimmed(line);
        if (key == markerStart) {
            // The empty line before a begin marker is the section's own.
            if (lastKeptWasEmptyAndAdjacent)
                kept.removeLast();
            inside = true;
            lastKeptWasEmptyAndAdjacent = false;
        } else if (key == markerEnd) {
            inside = false;
            lastKeptWasEmptyAndAdjacent = false;
        } else if (inside) {
            lastKeptWasEmptyAndAdjacent = false;
        } else {
            kept.append(line);
            lastKeptWasEmptyAndAdjacent = line.isEmpty();
        }
    }
    return kept;
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

QStringList blockSection(QStringList hostNames, const QDateTime& when, const QString& markerStart,
                         const QString& markerEnd) {
    std::sort(hostNames.begin(), hostNames.end());
    hostNames.erase(std::unique(hostNames.begin(), hostNames.end()), hostNames.end());

    QStringList section;
    section.reserve(hostNames.size() * 2 + 4);
    section << QString() << markerStart
            << QStringLiteral("# Added by Tarnhollow on ") + sectionDate(when);
    for (const QString& name : std::as_const(hostNames)) {
        section << QStringLiteral("127.0.0.1 ") + name;
        if (!name.startsWith(QLatin1String("www.")))
            section << QStringLiteral("127.0.0.1 www.") + name;
    }
    section << markerEnd;
    return section;
}

QString joinLines(const Lines& head, const QStringList& tail) {
    qsizetype size = head.size() + tail.size();
    for (QStringView line : head)
        size += line.size();
    for (const QString& line : tail)
        size += line.size();

    QString text;
    text.reserve(size);
    bool first = true;
    auto add = [&](QStringView line) {
        if (!first)
            text.append(QLatin1Char('\n'));
        first = false;
        text.append(line);
    };
    for (QStringView line : head)
        add(line);
    for (const QString& line : tail)
        add(line);
    return text;
}

} // namespace HostsText
