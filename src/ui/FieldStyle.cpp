#include "ui/FieldStyle.h"

#include "ui/Theme.h"

#include <QPainter>
#include <QStyleOption>

void FieldStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameLineEdit) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const bool focused = option->state & State_HasFocus;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    const qreal width = focused ? 2 : 1;
    painter->setPen(QPen(
        focused ? Theme::accent(option->palette) : Theme::controlBorder(option->palette), width));
    const qreal inset = width / 2;
    painter->drawRoundedRect(QRectF(option->rect).adjusted(inset, inset, -inset, -inset), 3, 3);
    painter->restore();
}
