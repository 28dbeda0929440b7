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

double contrastRatio(const QColor& first, const QColor& second) {
    const auto luminance = [](const QColor& color) {
        const auto linear = [](float channel) {
            return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
               0.0722 * linear(color.blueF());
    };
    const double a = luminance(first) + 0.05;
    const double b = luminance(second) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QColor withContrast(const QColor& color, const QList<QColor>& backgrounds, double ratio) {
    const auto enough = [&](const QColor& candidate) {
        return std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor& background) {
            return contrastRatio(candidate, background) >= ratio;
        });
    };
    // Darker where black reads better than white on the backgrounds.
    double towardsBlack = 0;
    for (const QColor& background : backgrounds)
        towardsBlack += contrastRatio(background, Qt::black) - contrastRatio(background, Qt::white);
    const bool darken = towardsBlack > 0;
    QColor adjusted = color.toHsl();
    float hue = 0, saturation = 0, lightness = 0;
    adjusted.getHslF(&hue, &saturation, &lightness);
    for (int step = 0; step < 100 && !enough(adjusted); ++step) {
        lightness = std::clamp(lightness + (darken ? -0.01f : 0.01f), 0.0f, 1.0f);
        adjusted = QColor::fromHslF(hue, saturation, lightness);
    }
    return adjusted.toRgb();
}

namespace {

// `color` laid over `background` at its own opacity.
QColor blended(const QColor& color, const QColor& background) {
    const float alpha = color.alphaF();
    return QColor::fromRgbF(color.redF() * alpha + background.redF() * (1 - alpha),
                            color.greenF() * alpha + background.greenF() * (1 - alpha),
                            color.blueF() * alpha + background.blueF() * (1 - alpha));
}

QList<QColor> backgrounds(const QPalette& palette) {
    return {palette.color(QPalette::Window), palette.color(QPalette::Base)};
}

// A text colour dimmed towards the window by `opacity`, as far as contrast allows.
QColor dimmed(const QPalette& palette, QPalette::ColorRole text, float opacity, double ratio) {
    QColor color = palette.color(text);
    color.setAlphaF(opacity);
    return withContrast(blended(color, palette.color(QPalette::Window)), backgrounds(palette),
                        ratio);
}

} // namespace

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondary(const QPalette& palette) {
    return dimmed(palette, QPalette::WindowText, 0.55f, textContrast);
}

QColor red(const QPalette& palette) {
    return withContrast(isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48),
                        backgrounds(palette), textContrast);
}

QColor blue(const QPalette& palette) {
    return withContrast(isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255),
                        backgrounds(palette), textContrast);
}

QColor accent(const QPalette& palette) {
    return withContrast(palette.color(QPalette::Highlight), backgrounds(palette), borderContrast);
}

QColor controlBorder(const QPalette& palette) {
    return dimmed(palette, QPalette::WindowText, 0.35f, borderContrast);
}

QColor placeholder(const QPalette& palette) {
    return dimmed(palette, QPalette::Text, 0.55f, textContrast);
}

QColor textOn(const QColor& fill) {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(fill, black) > contrastRatio(fill, white) ? black : white;
}

QIcon applicationIcon(const QString& applicationId, const QPalette& palette) {
    QIcon icon = QIcon::fromTheme(applicationId);
    if (!icon.isNull())
        return icon;
    QPixmap mark(64, 64);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent(palette));
    painter.drawEllipse(QRectF(6, 6, 52, 52));
    painter.setBrush(textOn(accent(palette)));
    painter.drawEllipse(QRectF(24, 24, 16, 16));
    return QIcon(mark);
}

QIcon trashIcon(const QPalette& palette, qreal devicePixelRatio) {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("user-trash"));
    return themed.isNull() ? drawnTrashIcon(palette.color(QPalette::ButtonText), devicePixelRatio)
                           : themed;
}

} // namespace Theme
