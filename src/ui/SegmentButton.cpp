#include "ui/SegmentButton.h"

#include "ui/Theme.h"

#include <QPainter>

namespace {
constexpr int horizontalPadding = 7;
constexpr int verticalPadding = 4;
} // namespace

SegmentButton::SegmentButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    // Checkable and exclusive: assistive technology hears a radio button.
    setAutoExclusive(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text);
}

QSize SegmentButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

QSize SegmentButton::minimumSizeHint() const {
    return sizeHint();
}

void SegmentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF inner = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor textColor = palette().color(QPalette::ButtonText);
    if (isChecked()) {
        const QColor fill = Theme::accent(palette());
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? fill.darker(115) : fill);
        painter.drawRoundedRect(inner, 4, 4);
        textColor = Theme::textOn(fill);
    } else if (isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Midlight));
        painter.drawRoundedRect(inner, 4, 4);
    }
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(isChecked() ? textColor : Theme::accent(palette()), 1.5));
        painter.drawRoundedRect(inner.adjusted(1, 1, -1, -1), 3, 3);
    }
    painter.setPen(textColor);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}
