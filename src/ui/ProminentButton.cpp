#include "ui/ProminentButton.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 5;
constexpr qreal cornerRadius = 6;
} // namespace

ProminentButton::ProminentButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void ProminentButton::setTint(Tint tint) {
    m_tint = tint;
    update();
}

void ProminentButton::setBusy(bool busy) {
    m_busy = busy;
    setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
    update();
}

QColor ProminentButton::fillColor() const {
    switch (m_tint) {
    case Tint::Blue:
        return Theme::blue(palette());
    case Tint::Red:
        return Theme::red(palette());
    case Tint::Accent:
        break;
    }
    return Theme::accent(palette());
}

QSize ProminentButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

QSize ProminentButton::minimumSizeHint() const {
    return sizeHint();
}

void ProminentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QColor fill = fillColor();
    if (m_busy) {
        // Halfway to the window's colour, still readable with textOn().
        const QColor window = palette().color(QPalette::Window);
        fill = QColor((fill.red() + window.red()) / 2, (fill.green() + window.green()) / 2,
                      (fill.blue() + window.blue()) / 2);
    } else if (isDown()) {
        fill = fill.darker(125);
    } else if (underMouse()) {
        fill = fill.lighter(108);
    }
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, fill);

    const QColor textColor = Theme::textOn(fill);
    if (hasFocus()) {
        QColor ring = textColor;
        ring.setAlphaF(0.8f);
        painter.setPen(QPen(ring, 1.5));
        painter.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), cornerRadius - 2,
                                cornerRadius - 2);
    }
    painter.setPen(textColor);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}
