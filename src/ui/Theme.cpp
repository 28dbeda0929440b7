#include "ui/Theme.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
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

} // namespace Theme
