#include "ui/Theme.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Theme {

namespace {

int basePixels(const QFont& base) {
    return std::max(1, QFontInfo(base).pixelSize());
}

// Sizes relative to a 13-pixel body text, the proportions of the usual
// desktop text styles.
QFont scaled(const QFont& base, double numerator) {
    QFont font = base;
    font.setPixelSize(std::max(9, int(std::lround(basePixels(base) * numerator / 13.0))));
    return font;
}

QIcon drawnTrashIcon(const QColor& color, qreal ratio) {
    constexpr int extent = 16;
    QPixmap pixmap(QSize(extent, extent) * ratio);
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

QFont font(TextStyle style, const QFont& base) {
    switch (style) {
    case TextStyle::Body:
        return base;
    case TextStyle::Headline: {
        QFont font = base;
        font.setBold(true);
        return font;
    }
    case TextStyle::Title2:
        return scaled(base, 17);
    case TextStyle::Callout:
        return scaled(base, 12);
    case TextStyle::Footnote:
        return scaled(base, 10);
    }
    return base;
}

QFont largeTitle(const QFont& base) {
    QFont font = base;
    // A rounded family where one is installed. Only installed names are set,
    // looked up in the family list: asking for a missing name one by one runs
    // fontconfig's alias rules, which costs a noticeable part of start-up.
    const QStringList installed = QFontDatabase::families();
    for (const char* family : {"SF Pro Rounded", "Nunito", "Varela Round", "M PLUS Rounded 1c"}) {
        if (installed.contains(QString::fromLatin1(family), Qt::CaseInsensitive)) {
            font.setFamily(QString::fromLatin1(family));
            break;
        }
    }
    font.setPixelSize(32);
    font.setWeight(QFont::ExtraBold);
    return font;
}

QFont withMonospacedDigits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QLatin1Char('0'));
    bool tabular = true;
    for (char digit = '1'; digit <= '9' && tabular; ++digit) {
        tabular = metrics.horizontalAdvance(QLatin1Char(digit)) == width;
    }
    if (tabular) {
        return font;
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(QFontInfo(font).pixelSize());
    fixed.setWeight(font.weight());
    return fixed;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondary(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

QColor red(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor blue(const QPalette& palette) {
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor textOn(const QColor& fill) {
    const double luminance = 0.299 * fill.redF() + 0.587 * fill.greenF() + 0.114 * fill.blueF();
    return luminance > 0.7 ? QColor(Qt::black) : QColor(Qt::white);
}

QIcon trashIcon(const QPalette& palette, qreal devicePixelRatio) {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("user-trash"));
    return themed.isNull() ? drawnTrashIcon(palette.color(QPalette::ButtonText), devicePixelRatio)
                           : themed;
}

} // namespace Theme
