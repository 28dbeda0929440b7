#include "ui/TrashButton.h"

#include <QEvent>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int iconExtent = 16;

// Drawn where the icon theme has no trash can.
QIcon drawnTrashIcon(const QColor& color, qreal ratio) {
    QPixmap pixmap(QSize(iconExtent, iconExtent) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));  // lid
    painter.drawLine(QPointF(6.5, 4), QPointF(6.5, 2.2)); // handle
    painter.drawLine(QPointF(6.5, 2.2), QPointF(9.5, 2.2));
    painter.drawLine(QPointF(9.5, 2.2), QPointF(9.5, 4));
    painter.drawLine(QPointF(4, 4), QPointF(4.8, 14)); // can
    painter.drawLine(QPointF(4.8, 14), QPointF(11.2, 14));
    painter.drawLine(QPointF(11.2, 14), QPointF(12, 4));
    painter.drawLine(QPointF(6.7, 6.5), QPointF(6.9, 11.5)); // ribs
    painter.drawLine(QPointF(9.3, 6.5), QPointF(9.1, 11.5));
    return QIcon(pixmap);
}

} // namespace

TrashButton::TrashButton(QWidget* parent) : QToolButton(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setIconSize(QSize(iconExtent, iconExtent));
    setCursor(Qt::PointingHandCursor);
    updateIcon();
}

void TrashButton::setEntry(const QString& entry) {
    m_entry = entry;
    const QString name = tr("Remove %1").arg(entry);
    setAccessibleName(name);
    setToolTip(name);
}

void TrashButton::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateIcon();
    }
}

void TrashButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
}

void TrashButton::updateIcon() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("user-trash"));
    setIcon(themed.isNull()
                ? drawnTrashIcon(palette().color(QPalette::ButtonText), devicePixelRatioF())
                : themed);
}
