#include "services/WebsiteImport.h"

namespace {

QStringView withoutComment(QStringView line) {
    const qsizetype hash = line.indexOf(u'#');
    return (hash < 0 ? line : line.first(hash)).trimmed();
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

void WebsiteImport::take(QStringView word, QList<Word>& into) {
    // Published lists start with a line that maps the address to itself.
    HostsText::DomainCheck checked =
        word == u"0.0.0.0" ? HostsText::DomainCheck{} : HostsText::checkDomain(word.toString());
    if (checked.fault != HostsText::NameFault::None) {
        ++m_skipped;
        return;
    }
    into.append(Word{word.toString().toLower(), std::move(checked.name)});
}

QList<WebsiteImport::Word> WebsiteImport::line(QStringView text) {
    QList<Word> words;
    const QStringView trimmed = text.trimmed();
    // A hosts file we wrote: our block is not the user's list.
    if (trimmed == QLatin1StringView(HostsText::kMarkerStart))
        m_inOwnSection = true;
    if (m_inOwnSection) {
        m_inOwnSection = trimmed != QLatin1StringView(HostsText::kMarkerEnd);
        return words;
    }
    const QStringView line = withoutComment(trimmed);
    if (line.isEmpty())
        return words;
    QList<QStringView> parts;
    for (qsizetype from = 0; from < line.size();) {
        while (from < line.size() && isBlank(line[from]))
            ++from;
        qsizetype to = from;
        while (to < line.size() && !isBlank(line[to]))
            ++to;
        if (to > from)
            parts.append(line.sliced(from, to - from));
        from = to;
    }
    if (parts.size() == 1) {
        take(parts.first(), words);
    } else if (parts.first() == u"0.0.0.0" || parts.first() == u"127.0.0.1") {
        for (qsizetype i = 1; i < parts.size(); ++i)
            take(parts[i], words);
    } else {
        // Another address, or words that are no name.
        ++m_skipped;
    }
    return words;
}
