#include "services/WebsiteImport.h"

#include "hosts/HostsText.h"

namespace {

QByteArrayView withoutComment(QByteArrayView line) {
    const qsizetype hash = line.indexOf('#');
    return (hash < 0 ? line : line.first(hash)).trimmed();
}

QList<QByteArrayView> words(QByteArrayView line) {
    QList<QByteArrayView> found;
    qsizetype from = 0;
    while (from < line.size()) {
        while (from < line.size() && (line[from] == ' ' || line[from] == '\t'))
            ++from;
        qsizetype to = from;
        while (to < line.size() && line[to] != ' ' && line[to] != '\t')
            ++to;
        if (to > from)
            found.append(line.sliced(from, to - from));
        from = to;
    }
    return found;
}

} // namespace

WebsiteImport WebsiteImport::parse(QByteArrayView bytes) {
    WebsiteImport result;
    bool inOwnSection = false;
    const auto take = [&result](QByteArrayView word) {
        const QString entry = QString::fromUtf8(word);
        // Published lists start with a line that maps the address to itself.
        if (word != "0.0.0.0" && HostsText::normalizeDomain(entry))
            result.entries.append(entry);
        else
            ++result.skipped;
    };
    for (qsizetype from = 0; from < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView trimmed = bytes.sliced(from, end - from).trimmed();
        from = end + 1;
        // A hosts file we wrote: our block is not the user's list.
        if (trimmed == HostsText::kMarkerStart)
            inOwnSection = true;
        if (inOwnSection) {
            inOwnSection = trimmed != HostsText::kMarkerEnd;
            continue;
        }
        const QByteArrayView line = withoutComment(trimmed);
        if (line.isEmpty())
            continue;
        const QList<QByteArrayView> parts = words(line);
        if (parts.size() == 1) {
            take(parts.first());
        } else if (parts.first() == "0.0.0.0" || parts.first() == "127.0.0.1") {
            for (qsizetype i = 1; i < parts.size(); ++i)
                take(parts[i]);
        } else {
            // Another address, or words that are no name.
            ++result.skipped;
        }
    }
    return result;
}
