#include "ui/EntryDelegate.h"

#include "ui/EntryListModel.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int rowPadding = 4;
constexpr int iconExtent = 16;

// The size the flat trash button of a row has.
QSize trashButtonSize(const QWidget* widget) {
    QStyleOptionToolButton option;
    option.initFrom(widget);
    option.iconSize = QSize(iconExtent, iconExtent);
    option.toolButtonStyle = Qt::ToolButtonIconOnly;
    return widget->style()->sizeFromContents(QStyle::CT_ToolButton, &option,
                                             QSize(iconExtent, iconExtent), widget);
}

int spacing(const QWidget* widget) {
    return std::max(0, widget->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));
}

} // namespace

int EntryDelegate::rowHeight(const QWidget* widget) {
    return std::max(widget->fontMetrics().height(), trashButtonSize(widget).height()) +
           2 * rowPadding;
}

QRect EntryDelegate::trashRect(const QRect& row, const QWidget* widget) {
    const QSize button = trashButtonSize(widget);
    QRect rect(QPoint(0, 0), button);
    rect.moveCenter(row.center());
    rect.moveRight(row.right());
    return rect;
}

void EntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const QWidget* widget = option.widget;
    const QPalette& palette = option.palette;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    // The selected row is marked only while the list has the keyboard focus.
    const bool marked = (option.state & QStyle::State_Selected) && widget && widget->hasFocus();
    // Black or white on the highlight, whichever reads (many themes' own
    // highlighted text falls short of AA contrast).
    const QColor markedText = Theme::textOn(palette.color(QPalette::Highlight));
    if (marked) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette.color(QPalette::Highlight));
        painter->drawRoundedRect(QRectF(option.rect).adjusted(0.5, 1.5, -0.5, -1.5), 4, 4);
    }

    const QRect trash = trashRect(option.rect, widget);
    Theme::trashIcon(palette, painter->device()->devicePixelRatioF())
        .paint(painter, trash, Qt::AlignCenter);

    QRect text = option.rect.adjusted(0, rowPadding, 0, -rowPadding);
    text.setRight(trash.left() - spacing(widget));
    const QString hint = index.data(EntryListModel::HintRole).toString();
    if (!hint.isEmpty()) {
        const QFont hintFont = Theme::font(Theme::TextStyle::Footnote, option.font);
        const int hintWidth = QFontMetrics(hintFont).horizontalAdvance(hint);
        const QRect hintRect(text.right() - hintWidth + 1, text.top(), hintWidth, text.height());
        painter->setFont(hintFont);
        painter->setPen(marked ? markedText : Theme::secondary(palette));
        painter->drawText(hintRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, hint);
        text.setRight(hintRect.left() - spacing(widget));
    }

    // The model already cut the text, so eliding it stays cheap.
    painter->setFont(option.font);
    painter->setPen(marked ? markedText : palette.color(QPalette::WindowText));
    const QString shown = index.data(Qt::DisplayRole).toString();
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(shown, Qt::ElideRight, text.width()));
    painter->restore();
}

QSize EntryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), rowHeight(option.widget)};
}
