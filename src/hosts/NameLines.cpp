#include "hosts/NameLines.h"

#include <algorithm>
#include <functional>

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

std::vector<quint64> NameLines::sortedPlaces() const {
    std::vector<quint64> places;
    if (std::adjacent_find(begin(), end(), std::greater_equal<>()) == end())
        return places;
    const char* const first = text().data();
    for (const QByteArrayView name : *this)
        places.push_back(quint64(name.data() - first) << 16 | quint64(name.size() & 0xffff));
    const auto less = [this](quint64 a, quint64 b) { return at(a) < at(b); };
    const auto same = [this](quint64 a, quint64 b) { return at(a) == at(b); };
    std::sort(places.begin(), places.end(), less);
    places.erase(std::unique(places.begin(), places.end(), same), places.end());
    return places;
}
