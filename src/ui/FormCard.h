#pragma once

#include "ui/EntryListModel.h"

#include <QList>
#include <QWidget>

#include <functional>

class EntryListView;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// A list editor on a rounded card: a title with a filter field (Ctrl+F) and
// "Remove All…", an input row with "Add", and the entries, each with a trash
// can, scrolling inside the card when there are more than it shows. It draws
// the entries it is given and keeps none of its own.
class FormCard : public QWidget {
    Q_OBJECT
public:
    using AddAction = std::function<void()>;
    using DeleteAction = std::function<void(const QStringList& entries)>;
    using ImportAction = std::function<void(const QString& path)>;
    using CancelAction = std::function<void()>;
    // Asks the user a yes-or-no question; true for yes.
    using Confirmation = std::function<bool(const QString& question)>;

    FormCard(const QString& title, const QString& placeholder, AddAction onAdd,
             DeleteAction onDelete, EntryListModel::HintFunction hint = {},
             QWidget* parent = nullptr);

    // Redraws the entry rows from `items`.
    void setItems(const QStringList& items);
    void refreshHints();
    // Adds an "Import…" button that asks for a file, and takes a file
    // dropped on the card the same way.
    void setImportAction(ImportAction onImport, CancelAction onCancel);
    // While an import runs, its progress and a Cancel button show and
    // Import is off.
    void setImporting(bool importing);
    void setImportProgress(int perMille);
    // Selects `entry` and scrolls it into view, clearing a filter that
    // hides it.
    void showEntry(const QString& entry);
    void focusFilter();
    void setConfirmation(Confirmation confirm) { m_confirm = std::move(confirm); }

    // Shows at most `rows` entries at a time; the others scroll.
    void setMaxVisibleRows(int rows);
    int maxVisibleRows() const { return m_maxVisibleRows; }
    // Rows shown beyond maxVisibleRows when the window has height to spare;
    // never more than the entries need.
    void setExtraRows(int rows);
    // The rows that would still fit beside maxVisibleRows.
    int rowsBeyondMax() const;
    // The height the extra rows add.
    int grownHeight() const;
    int rowHeight() const;
    // The height the entries take when at most `rows` are shown.
    int entriesHeight(int rows) const;
    int shownEntriesHeight() const { return entriesHeight(m_maxVisibleRows); }

    QLabel* titleLabel() const { return m_title; }
    QLineEdit* inputField() const { return m_input; }
    QPushButton* addButton() const { return m_addButton; }
    // Null without an import action.
    QPushButton* importButton() const { return m_importButton; }
    QLineEdit* filterField() const { return m_filter; }
    QPushButton* removeAllButton() const { return m_removeAll; }
    QProgressBar* importProgress() const { return m_progress; }
    EntryListView* entryList() const { return m_list; }
    EntryListModel* entries() const { return m_entries; }
    // Focusable controls, top to bottom.
    QList<QWidget*> focusOrder() const;

    // Re-applies the palette-derived text colours.
    void applyColors();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void updateListHeight();
    void removeAll();
    void updateListControls();

    AddAction m_onAdd;
    DeleteAction m_onDelete;
    ImportAction m_onImport;
    CancelAction m_onCancel;
    Confirmation m_confirm;
    QLabel* m_title;
    QLineEdit* m_filter;
    QPushButton* m_removeAll;
    QLineEdit* m_input;
    QPushButton* m_addButton;
    QPushButton* m_importButton = nullptr;
    QWidget* m_progressRow = nullptr;
    QProgressBar* m_progress = nullptr;
    QHBoxLayout* m_inputRow;
    QLabel* m_emptyLabel;
    EntryListModel* m_entries;
    EntryListView* m_list;
    int m_maxVisibleRows = 6;
    int m_extraRows = 0;
};
