#pragma once

#include <QStyledItemDelegate>

// Draws one entry row as the list editor always had it: the entry's text,
// its hint in the caption style, and a trash can at the trailing edge, with
// 4 points of padding above and below.
class EntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static int rowHeight(const QWidget* widget);
    // Where the trash can of the row at `row` is drawn and clicked.
    static QRect trashRect(const QRect& row, const QWidget* widget);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
