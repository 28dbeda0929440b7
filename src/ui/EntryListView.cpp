#include "ui/EntryListView.h"

#include "ui/EntryDelegate.h"
#include "ui/EntryListModel.h"

#include <QKeyEvent>
#include <QMouseEvent>

EntryListView::EntryListView(QWidget* parent) : QListView(parent) {
    setItemDelegate(new EntryDelegate(this));
    // One row height for all, so a long list costs nothing to lay out.
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAccessibleDescription(tr("Press Delete to remove the selected entries."));
}

int EntryListView::rowHeight() const {
    return EntryDelegate::rowHeight(this);
}

void EntryListView::setVisibleRows(int rows) {
    setFixedHeight(rows * rowHeight() + 2 * frameWidth());
}

void EntryListView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    // Arriving by keyboard, select a row so that Delete has one to remove.
    if (!selectionModel()->hasSelection() && model() && model()->rowCount() > 0) {
        const QModelIndex current =
            currentIndex().isValid() ? currentIndex() : model()->index(0, 0);
        setCurrentIndex(current);
    }
}

// QListView tells assistive technology that the new current row has the
// focus even when the list has not; a row shown after an Add elsewhere must
// not take a screen reader away from where the user is.
void EntryListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (hasFocus())
        QListView::currentChanged(current, previous);
    else
        QAbstractItemView::currentChanged(current, previous);
}

void EntryListView::keyPressEvent(QKeyEvent* event) {
    const bool remove = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    if (remove && currentIndex().isValid()) {
        QModelIndexList rows = selectionModel()->selectedRows();
        if (rows.isEmpty())
            rows.append(currentIndex());
        QStringList entries;
        entries.reserve(rows.size());
        for (const QModelIndex& row : std::as_const(rows))
            entries.append(row.data(EntryListModel::EntryRole).toString());
        emit removeRequested(entries);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void EntryListView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    if (event->button() == Qt::LeftButton && index.isValid() &&
        EntryDelegate::trashRect(visualRect(index), this).contains(position)) {
        event->accept();
        setState(QAbstractItemView::NoState);
        emit removeRequested({index.data(EntryListModel::EntryRole).toString()});
        return;
    }
    QListView::mouseReleaseEvent(event);
}
