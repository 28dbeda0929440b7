#include "hosts/NameLines.h"

#include <algorithm>
#include <functional>
#include <vector>

NameLines NameLines::of(const QStringList& names) {
    QByteArray text;
    for (const QString& name : names)
        text.append(name.toLatin1()).append('\n');
    return NameLines(text);
}

qsizetype NameLines::count() const {
    const QByteArrayView lines = text();
    return std::count(lines.begin(), lines.end(), '\n');
}

NameLines NameLines::sortedUnique() const {
    if (std::adjacent_find(begin(), end(), std::greater_equal<>()) == end())
        return *this;
    std::vector<QByteArrayView> names(begin(), end());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    QByteArray sorted;
    sorted.reserve(text().size());
    for (const QByteArrayView name : names)
        sorted.append(name).append('\n');
    return NameLines(sorted);
}
