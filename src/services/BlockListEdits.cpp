#include "services/BlockListEdits.h"

#include "base/ListEntry.h"
#include "hosts/HostsText.h"
#include "services/HostBlocker.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>

namespace BlockListEdits {

namespace {
QString tr(const char* text) {
    return QCoreApplication::translate("BlockListEdits", text);
}
} // namespace

std::optional<QString> listed(const QStringList& list, const QString& entry) {
    const QString key = listEntryKey(entry);
    const auto found = std::find_if(list.cbegin(), list.cend(), [&key](const QString& existing) {
        return listEntryKey(existing) == key;
    });
    return found == list.cend() ? std::nullopt : std::optional<QString>(*found);
}

QStringList without(QStringList list, const QStringList& entries) {
    QSet<QString> keys;
    keys.reserve(entries.size());
    for (const QString& entry : entries)
        keys.insert(listEntryKey(entry));
    list.removeIf(
        [&keys](const QString& existing) { return keys.contains(listEntryKey(existing)); });
    return list;
}

bool isFullFor(const QStringList& websites, const QString& name) {
    // Entries never count fewer than the names they give: a shorter list
    // cannot be full.
    if (websites.size() < HostsText::kMostBlockedNames)
        return false;
    const QStringList names = HostBlocker::hostNames(websites);
    return names.size() >= HostsText::kMostBlockedNames &&
           !std::binary_search(names.cbegin(), names.cend(), name);
}

QString count(BlockList list, qsizetype count) {
    if (list == BlockList::Websites)
        return count == 1 ? tr("1 website") : tr("%1 websites").arg(count);
    return count == 1 ? tr("1 app") : tr("%1 apps").arg(count);
}

QString fullText() {
    return tr("The list is full: one session blocks at most %1 websites.")
        .arg(HostsText::kMostBlockedNames);
}

QString importSummary(const WebsiteImporter::Outcome& outcome) {
    const QString said = tr("Added %1; %2 already on the list; %3 skipped as not web addresses.")
                             .arg(count(BlockList::Websites, outcome.entries.size()))
                             .arg(outcome.alreadyListed)
                             .arg(outcome.skipped);
    if (!outcome.full)
        return said;
    return tr("Import stopped at the limit. ") + fullText() + QLatin1Char(' ') + said;
}

} // namespace BlockListEdits
