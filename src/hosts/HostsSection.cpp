#include "hosts/HostsSection.h"

#include "hosts/HostsText.h"

#include <algorithm>
#include <cstring>

HostsSection::HostsSection(NameLines names, const QDateTime& when, uint ownerUid,
                           const QDateTime& until)
    : m_names(std::move(names)), m_places(m_names.sortedPlaces()),
      m_head(HostsText::sectionHead(when, ownerUid, until)) {
    rewind();
}

void HostsSection::rewind() {
    m_next = m_names.begin();
    m_placed = 0;
    m_headDone = m_tailDone = false;
}

qsizetype HostsSection::read(char* into, qsizetype room) {
    constexpr QByteArrayView kPrefix = HostsText::kAddressPrefix;
    constexpr QByteArrayView kEnd = HostsText::kMarkerEnd;
    // Two lines of the longest name in its www. form, or the head or tail.
    constexpr qsizetype kMostPerName = 2 * (kPrefix.size() + 2 * (253 + 4) + 3);
    static_assert(kMostPerName <= kLeastRoom);
    char* out = into;
    const auto put = [&out](const char* bytes, qsizetype count) {
        std::memcpy(out, bytes, size_t(count));
        out += count;
    };
    if (!m_headDone) {
        put(m_head.constData(), m_head.size());
        m_headDone = true;
    }
    char name[256 + 4] = {'w', 'w', 'w', '.'};
    constexpr qsizetype kWww = 4;
    const NameLines::Iterator end = m_names.end();
    const bool inOrder = m_places.empty();
    const auto more = [&] { return inOrder ? m_next != end : m_placed < m_places.size(); };
    while (more() && out - into <= room - kMostPerName) {
        const QByteArrayView hostName = inOrder ? *m_next++ : m_names.at(m_places[m_placed++]);
        const qsizetype length = std::min<qsizetype>(hostName.size(), 253);
        std::memcpy(name + kWww, hostName.data(), size_t(length));
        // The trailing-dot form is the same name to DNS, and typed or
        // linked that way it would otherwise walk past the block.
        const bool isWww = length >= kWww && std::memcmp(name + kWww, name, kWww) == 0;
        for (const qsizetype from : {kWww, qsizetype(0)}) {
            if (from == 0 && isWww)
                break;
            put(kPrefix.data(), kPrefix.size());
            put(name + from, length + kWww - from);
            *out++ = ' ';
            put(name + from, length + kWww - from);
            put(".\n", 2);
        }
    }
    // The final line feed keeps a line appended later off the end marker.
    if (!more() && !m_tailDone && out - into < room - kEnd.size()) {
        put(kEnd.data(), kEnd.size());
        *out++ = '\n';
        m_tailDone = true;
    }
    return out - into;
}

QByteArray HostsSection::text() {
    rewind();
    QByteArray whole;
    char part[kLeastRoom];
    while (const qsizetype n = read(part, sizeof part))
        whole.append(part, n);
    return whole;
}
