#pragma once

#include "services/FocusStore.h"
#include "services/ListUndo.h"
#include "services/WebsiteImporter.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// What a list edit has for the user: a status line, an error line, and
// whether the save it made worked.
struct ListAnswer {
    // Empty: the status line stays as it is.
    QString status;
    // A reason the edit could not be made (an import's unreadable file).
    std::optional<QString> error;
    // Set when the edit saved the lists: empty when the save worked.
    std::optional<QString> saveError;
    // The list's entry that an add is about; empty when nothing was added.
    QString entry;
};

// The two block lists: editing, importing and saving them, with the one
// rule of which entries are the same. It tells its owner what to say and
// keeps no status of its own.
class BlockLists : public QObject {
    Q_OBJECT

public:
    // Loads the lists exactly as stored; both empty when nothing loads.
    explicit BlockLists(std::unique_ptr<FocusStore> store, QObject* parent = nullptr);
    ~BlockLists() override;

    const QStringList& websites() const { return m_websites; }
    const QStringList& appBundleIds() const { return m_appBundleIds; }
    bool isImporting() const { return m_importer->isRunning(); }
    bool canUndo() const { return m_undo.has_value(); }

    ListAnswer addWebsite(const QString& text);
    ListAnswer addAppBundleId(const QString& text);
    // Removes every copy of each of `entries` in one save; undoable.
    ListAnswer remove(BlockList list, const QStringList& entries);
    // Takes back the last import or removal, in one save.
    ListAnswer undo();
    // Reads `path` off this thread; `importFinished` tells the outcome.
    // Ignored while an import runs.
    ListAnswer importWebsites(const QString& path);
    void cancelImport();

signals:
    void importingChanged();
    void importProgressChanged(int perMille);
    void undoChanged();
    void importFinished(const ListAnswer& answer);

private:
    void finishImport(const WebsiteImporter::Outcome& read, const QStringList& listedBefore);
    void setUndo(std::optional<ListUndo> undo);
    QStringList& entriesOf(BlockList list);
    std::optional<QString> save();

    QStringList m_websites;
    QStringList m_appBundleIds;
    std::unique_ptr<FocusStore> m_store;
    WebsiteImporter* m_importer;
    std::optional<ListUndo> m_undo;
};
