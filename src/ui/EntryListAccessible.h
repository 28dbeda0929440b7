#pragma once

#include <QAccessibleWidget>
#include <QHash>

class QAbstractItemView;

// An entry list as assistive technology sees it: a table of one column whose
// rows are made only when one is asked for, and kept until the entries
// change. A table, not a list: screen readers skip tables when they search a
// window, but walk a list row by row over the bus, which with 20,000 entries
// kept them silent for 14 s when focus entered the card.
class EntryListAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit EntryListAccessible(QAbstractItemView* view);
    ~EntryListAccessible() override;

    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    QString columnDescription(int) const override { return {}; }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override;
    int rowCount() const override;
    int selectedCellCount() const override { return int(selectedRows().size()); }
    QList<QAccessibleInterface*> selectedCells() const override;
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

private:
    QAbstractItemView* view() const;
    void forgetRows() const;

    // Row number to the id of the row made for it.
    mutable QHash<int, QAccessible::Id> m_rows;
};
