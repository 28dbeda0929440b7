#pragma once

#include "ui/EntryListModel.h"

#include <QList>
#include <QWidget>

#include <functional>

class EntryListView;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// A list editor on a rounded card: a title, an input row with "Add", and the
// entries, each with a trash can, scrolling inside the card when there are
// more than it shows. It draws the entries it is given and keeps none of its
// own.
class FormCard : public QWidget {
    Q_OBJECT
public:
    using AddAction = std::function<void()>;
    using DeleteAction = std::function<void(const QString& entry)>;
    using ImportAction = std::function<void(const QString& path)>;

    FormCard(const QString& title, const QString& placeholder, AddAction onAdd,
             DeleteAction onDelete, EntryListModel::HintFunction hint = {},
             QWidget* parent = nullptr);

    // Redraws the entry rows from `items`.
    void setItems(const QStringList& items);
    void refreshHints();
    // Adds an "Import…" button that asks for a file, and takes a file
    // dropped on the card the same way.
    void setImportAction(ImportAction onImport);

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
    EntryListView* entryList() const { return m_list; }
    EntryListModel* entries() const { return m_entries; }
    // Focusable controls, top to bottom.
    QList<QWidget*> focusOrder() const;

    // Re-applies the palette-derived text colours.
    void applyColors();

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void updateListHeight();

    AddAction m_onAdd;
    DeleteAction m_onDelete;
    ImportAction m_onImport;
    QLabel* m_title;
    QLineEdit* m_input;
    QPushButton* m_addButton;
    QPushButton* m_importButton = nullptr;
    QHBoxLayout* m_inputRow;
    QLabel* m_emptyLabel;
    EntryListModel* m_entries;
    EntryListView* m_list;
    int m_maxVisibleRows = 6;
    int m_extraRows = 0;
};
