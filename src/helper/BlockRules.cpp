#include "helper/BlockRules.h"

#include <algorithm>
#include <vector>

namespace BlockRules {

namespace {
constexpr QByteArrayView kBegin = HostsText::kMarkerStart;
constexpr QByteArrayView kEnd = HostsText::kMarkerEnd;
constexpr QByteArrayView kAddress = "127.0.0.1 ";
} // namespace

uid_t callerUid(uid_t realUid, const char* pkexecUid) {
    if (realUid != 0 || !pkexecUid)
        return realUid;
    const QByteArray text(pkexecUid);
    bool ok = false;
    const uint uid = text.toUInt(&ok);
    const bool digits = !text.isEmpty() && std::all_of(text.begin(), text.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    return ok && digits ? uid_t(uid) : uid_t(-1);
}

Split split(QByteArrayView text, uid_t caller, const QDateTime& now) {
    Split parts;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd))
        (HostsText::mayRemove(section, caller, now) ? parts.removable : parts.kept).append(section);
    return parts;
}

std::optional<HostsText::Section> blockingSection(const Split& split) {
    for (const HostsText::Section& section : split.kept) {
        if (!section.markerOnly)
            return section;
    }
    return std::nullopt;
}

QList<HostsText::Section> unowned(QByteArrayView text) {
    QList<HostsText::Section> found;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd)) {
        if (HostsText::namesNoOwner(section))
            found.append(section);
    }
    return found;
}

Split byEnd(QByteArrayView text, const QDateTime& now) {
    Split parts;
    for (const HostsText::Section& section : HostsText::blockSections(text, kBegin, kEnd)) {
        if (section.markerOnly || !section.owner)
            continue;
        (section.owner->until <= now ? parts.removable : parts.kept).append(section);
    }
    return parts;
}

QDateTime endOf(const QDateTime& now, std::chrono::seconds length) {
    const QDateTime whole = now.time().msec() == 0 ? now : now.addMSecs(1000 - now.time().msec());
    return whole.addSecs(length.count());
}

QString refusalText(const HostsText::Section& section) {
    if (!section.owner)
        return QStringLiteral(
            "The hosts file holds an old Tarnhollow block that names no owner, so no new block "
            "can be written. An administrator can remove it.");
    return QStringLiteral("Another user's focus session blocks websites until %1 UTC; "
                          "only that user or an administrator can change it before then.")
        .arg(section.owner->until.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

NameLines namesIn(QByteArrayView text, const QList<HostsText::Section>& sections) {
    std::vector<QByteArrayView> names;
    for (const HostsText::Section& section : sections) {
        if (section.markerOnly)
            continue;
        for (qsizetype at = section.begin; at < section.end;) {
            qsizetype next = text.indexOf('\n', at);
            if (next < 0 || next > section.end)
                next = section.end;
            const QByteArrayView line = text.sliced(at, next - at);
            at = next + 1;
            if (!line.startsWith(kAddress))
                continue;
            QByteArrayView name = line.sliced(kAddress.size());
            if (const qsizetype space = name.indexOf(' '); space >= 0)
                name = name.first(space);
            if (!name.isEmpty())
                names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // A copy: the text may be a mapping of a file about to change.
    QByteArray listed;
    for (const QByteArrayView name : names) {
        if (!(name.startsWith("www.") &&
              std::binary_search(names.begin(), names.end(), name.sliced(4))))
            listed.append(name).append('\n');
    }
    return NameLines(listed);
}

} // namespace BlockRules
