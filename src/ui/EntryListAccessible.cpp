#include "ui/EntryListAccessible.h"

#include "ui/EntryListModel.h"
#include "ui/EntryListView.h"

#include <QAbstractItemView>
#include <QPersistentModelIndex>
#include <QPointer>

#include <utility>

namespace {

// One entry, the only cell of its row. It reads the model when asked, so a
// hint worked out later is heard too.
class EntryRowAccessible : public QAccessibleInterface,
                           public QAccessibleTableCellInterface,
                           public QAccessibleActionInterface {
public:
    EntryRowAccessible(QAbstractItemView* view, const QModelIndex& index)
        : m_view(view), m_index(index) {}

    bool isValid() const override {
        return m_view && m_index.isValid() && m_index.model() == m_view->model();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(m_view.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text kind) const override {
        if (!isValid())
            return {};
        if (kind == QAccessible::Name) {
            const QString name = m_index.data(Qt::AccessibleTextRole).toString();
            return name.isEmpty() ? m_index.data(Qt::DisplayRole).toString() : name;
        }
        if (kind == QAccessible::Description)
            return m_index.data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect row = m_view->visualRect(m_index);
        return {m_view->viewport()->mapToGlobal(row.topLeft()), row.size()};
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        state.selected = isSelected();
        state.focused = m_view->hasFocus() && m_view->currentIndex() == m_index;
        state.disabled = !m_view->isEnabled();
        // Rows scrolled out of sight are not showing, so searches pass them by.
        state.invisible = !m_view->isVisible() ||
                          !m_view->viewport()->rect().intersects(m_view->visualRect(m_index));
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override {
        return isValid() && m_view->selectionModel() &&
               m_view->selectionModel()->isSelected(m_index);
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return m_index.row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // Focusing a row selects it, so that Delete then removes it; Remove does
    // what the row's trash can does.
    QStringList actionNames() const override { return {setFocusAction(), removeAction()}; }
    QString localizedActionName(const QString& name) const override {
        return name == removeAction() ? EntryListView::tr("Remove")
                                      : QAccessibleActionInterface::localizedActionName(name);
    }
    QString localizedActionDescription(const QString& name) const override {
        return name == removeAction()
                   ? EntryListView::tr("Removes the entry from the list")
                   : QAccessibleActionInterface::localizedActionDescription(name);
    }
    void doAction(const QString& name) override {
        if (!isValid())
            return;
        if (name == removeAction()) {
            if (auto* list = qobject_cast<EntryListView*>(m_view.data()))
                emit list->removeRequested({m_index.data(EntryListModel::EntryRole).toString()});
            return;
        }
        if (name != setFocusAction())
            return;
        m_view->setFocus(Qt::OtherFocusReason);
        m_view->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return name == removeAction() ? QStringList{QStringLiteral("Delete")} : QStringList();
    }
    static QString removeAction() { return QStringLiteral("Remove"); }

private:
    QPointer<QAbstractItemView> m_view;
    QPersistentModelIndex m_index;
};

} // namespace

EntryListAccessible::EntryListAccessible(QAbstractItemView* view)
    : QAccessibleWidget(view, QAccessible::Table) {}

EntryListAccessible::~EntryListAccessible() {
    forgetRows();
}

QAbstractItemView* EntryListAccessible::view() const {
    return static_cast<QAbstractItemView*>(widget());
}

void* EntryListAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int EntryListAccessible::childCount() const {
    return rowCount();
}

QAccessibleInterface* EntryListAccessible::child(int index) const {
    return cellAt(index, 0);
}

int EntryListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    auto* cell = child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
    return cell && cell->table() == this ? cell->rowIndex() : -1;
}

QAccessibleInterface* EntryListAccessible::childAt(int x, int y) const {
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? cellAt(index.row(), 0) : nullptr;
}

QAccessibleInterface* EntryListAccessible::focusChild() const {
    const QModelIndex current = view()->currentIndex();
    return view()->hasFocus() && current.isValid() ? cellAt(current.row(), 0) : nullptr;
}

QAccessibleInterface* EntryListAccessible::cellAt(int row, int column) const {
    if (column != 0 || row < 0 || row >= rowCount())
        return nullptr;
    const auto known = m_rows.constFind(row);
    if (known != m_rows.constEnd()) {
        QAccessibleInterface* cell = QAccessible::accessibleInterface(*known);
        // Rows inserted or removed without an event leave a row elsewhere.
        if (cell && cell->isValid() && cell->tableCellInterface()->rowIndex() == row)
            return cell;
        QAccessible::deleteAccessibleInterface(*known);
    }
    auto* cell =
        new EntryRowAccessible(view(), view()->model()->index(row, 0, view()->rootIndex()));
    m_rows.insert(row, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

int EntryListAccessible::columnCount() const {
    return view()->model() ? 1 : 0;
}

int EntryListAccessible::rowCount() const {
    return view()->model() ? view()->model()->rowCount(view()->rootIndex()) : 0;
}

QList<QAccessibleInterface*> EntryListAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (const int row : selectedRows()) {
        if (QAccessibleInterface* cell = cellAt(row, 0))
            cells << cell;
    }
    return cells;
}

QList<int> EntryListAccessible::selectedRows() const {
    QList<int> rows;
    if (view()->selectionModel()) {
        for (const QModelIndex& index : view()->selectionModel()->selectedRows())
            rows << index.row();
    }
    return rows;
}

bool EntryListAccessible::isRowSelected(int row) const {
    return view()->selectionModel() &&
           view()->selectionModel()->isRowSelected(row, view()->rootIndex());
}

bool EntryListAccessible::selectRow(int row) {
    if (row < 0 || row >= rowCount())
        return false;
    view()->setCurrentIndex(view()->model()->index(row, 0, view()->rootIndex()));
    return true;
}

bool EntryListAccessible::unselectRow(int row) {
    if (!isRowSelected(row))
        return false;
    view()->selectionModel()->select(view()->model()->index(row, 0, view()->rootIndex()),
                                     QItemSelectionModel::Deselect);
    return true;
}

void EntryListAccessible::modelChange(QAccessibleTableModelChangeEvent*) {
    forgetRows();
}

void EntryListAccessible::forgetRows() const {
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
    m_rows.clear();
}
