#include "services/BlockLists.h"

#include "hosts/HostsText.h"
#include "services/BlockListEdits.h"
#include "services/WebsiteHints.h"

#include <QFileInfo>

BlockLists::BlockLists(std::unique_ptr<FocusStore> store, QObject* parent)
    : QObject(parent), m_store(std::move(store)), m_importer(new WebsiteImporter(this)) {
    Q_ASSERT(m_store);
    // Lists come back exactly as stored; nothing is cleaned up on the way in.
    if (const std::optional<FocusConfiguration> record = m_store->load()) {
        m_websites = record->websites;
        m_appBundleIds = record->appBundleIds;
    }
    connect(m_importer, &WebsiteImporter::progressChanged, this,
            &BlockLists::importProgressChanged);
    connect(m_importer, &WebsiteImporter::finished, this, &BlockLists::finishImport);
}

BlockLists::~BlockLists() = default;

ListAnswer BlockLists::addWebsite(const QString& text) {
    const QString entry = text.trimmed().toLower();
    if (entry.isEmpty())
        return {};
    if (const auto existing = BlockListEdits::listed(m_websites, entry))
        return {tr("%1 is already on the list.").arg(*existing), {}, {}, *existing};
    const HostsText::DomainCheck checked = HostsText::checkDomain(entry);
    if (checked.fault == HostsText::NameFault::None &&
        BlockListEdits::isFullFor(m_websites, checked.name))
        return {BlockListEdits::fullText(), {}, {}, {}};
    m_websites.append(entry);
    return {checked.fault == HostsText::NameFault::None
                ? tr("Added %1.").arg(entry)
                : tr("%1 blocks nothing: %2.").arg(entry, websiteHint(checked.fault)),
            {},
            save(),
            entry};
}

ListAnswer BlockLists::addAppBundleId(const QString& text) {
    const QString entry = text.trimmed();
    if (entry.isEmpty())
        return {};
    if (const auto existing = BlockListEdits::listed(m_appBundleIds, entry))
        return {tr("%1 is already on the list.").arg(*existing), {}, {}, *existing};
    m_appBundleIds.append(entry);
    return {{}, {}, save(), entry};
}

ListAnswer BlockLists::remove(BlockList list, const QStringList& entries) {
    QStringList& current = entriesOf(list);
    const QStringList before = current;
    current = BlockListEdits::without(before, entries);
    const qsizetype removed = before.size() - current.size();
    ListAnswer answer{{}, {}, save(), {}};
    if (removed == 0)
        return answer;
    setUndo(ListUndo(list, before, current,
                     tr("Put back %1.").arg(BlockListEdits::count(list, removed))));
    // One entry is named, so a screen reader user hears which one went.
    const QString what =
        entries.size() == 1 ? entries.first() : BlockListEdits::count(list, removed);
    answer.status = tr("Removed %1; Undo (Ctrl+Z) puts it back.").arg(what);
    return answer;
}

ListAnswer BlockLists::undo() {
    if (!m_undo)
        return {};
    const ListUndo undo = *m_undo;
    setUndo(std::nullopt);
    QStringList& current = entriesOf(undo.list());
    current = undo.undone(current);
    return {undo.undoneText(), {}, save(), {}};
}

ListAnswer BlockLists::importWebsites(const QString& path) {
    if (m_importer->isRunning())
        return {};
    m_importer->start(path, m_websites);
    emit importingChanged();
    return {tr("Importing %1…").arg(QFileInfo(path).fileName()), {}, {}, {}};
}

void BlockLists::cancelImport() {
    m_importer->cancel();
}

void BlockLists::finishImport(const WebsiteImporter::Outcome& read,
                              const QStringList& listedBefore) {
    emit importingChanged();
    if (read.cancelled) {
        emit importFinished({tr("Import cancelled; nothing was added."), {}, {}, {}});
        return;
    }
    if (!read.error.isEmpty()) {
        emit importFinished({tr("Nothing was imported."), read.error, {}, {}});
        return;
    }
    const WebsiteImporter::Outcome outcome =
        WebsiteImporter::reconciled(read, listedBefore, m_websites);
    ListAnswer answer{BlockListEdits::importSummary(outcome), {}, {}, {}};
    if (!outcome.entries.isEmpty()) {
        const QStringList before = m_websites;
        m_websites += outcome.entries;
        answer.saveError = save();
        setUndo(
            ListUndo(BlockList::Websites, before, m_websites,
                     tr("Took back the import of %1.")
                         .arg(BlockListEdits::count(BlockList::Websites, outcome.entries.size()))));
    }
    emit importFinished(answer);
}

void BlockLists::setUndo(std::optional<ListUndo> undo) {
    m_undo = std::move(undo);
    emit undoChanged();
}

QStringList& BlockLists::entriesOf(BlockList list) {
    return list == BlockList::Websites ? m_websites : m_appBundleIds;
}

// The lists stay as edited even when they cannot be saved; the next change
// tries again.
std::optional<QString> BlockLists::save() {
    const auto saved = m_store->save(FocusConfiguration{m_websites, m_appBundleIds});
    return saved ? QString() : saved.error().message();
}
