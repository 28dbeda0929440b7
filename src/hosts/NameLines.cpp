#include "hosts/NameLines.h"

#include <algorithm>
#include <cstring>

NameLines NameLines::of(const QStringList& names) {
    QByteArray text;
    for (const QString& name : names)
        text.append(name.toLatin1()).append('\n');
    return NameLines(text);
}

qsizetype NameLines::count() const {
    // memchr's wide steps: a byte-wise count costs more than a name's section.
    qsizetype lines = 0;
    const char* const end = text().end();
    for (const char* at = text().begin(); at < end; ++lines) {
        const void* next = std::memchr(at, '\n', size_t(end - at));
        at = next ? static_cast<const char*>(next) + 1 : end;
    }
    return lines;
}

namespace {

// Byte order, as QByteArrayView's, but inline: the check runs once a name.
bool before(QByteArrayView a, QByteArrayView b) {
    const int order = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    return order < 0 || (order == 0 && a.size() < b.size());
}

} // namespace

std::vector<quint64> NameLines::sortedPlaces() const {
    std::vector<quint64> places;
    const auto notBefore = [](QByteArrayView a, QByteArrayView b) { return !before(a, b); };
    if (std::adjacent_find(begin(), end(), notBefore) == end())
        return places;
    const char* const first = text().data();
    for (const QByteArrayView name : *this)
        places.push_back(quint64(name.data() - first) << 16 | quint64(name.size() & 0xffff));
    const auto less = [this](quint64 a, quint64 b) { return before(at(a), at(b)); };
    const auto same = [this](quint64 a, quint64 b) { return at(a) == at(b); };
    std::sort(places.begin(), places.end(), less);
    places.erase(std::unique(places.begin(), places.end(), same), places.end());
    return places;
}
