#pragma once

#include <QProxyStyle>

// The application's style, with text fields outlined in a colour that stands
// out from both the window and the field in light and dark palettes alike;
// many styles draw an unfocused field's frame barely darker than a dark window.
class FieldStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
