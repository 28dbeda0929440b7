#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

// The window's named text styles and semantic colours, derived from the
// widget's own font and palette so that a dark theme stays legible.
namespace Theme {

enum class TextStyle { Body, Headline, Title2, Callout, Footnote };

// `base` is the platform's body font; the other styles scale from it.
QFont font(TextStyle style, const QFont& base);
// The system font at 32 pixels, heavy, preferring a rounded family.
QFont largeTitle(const QFont& base);
// `font` itself when all its digits are equally wide, else a fixed-pitch font
// of the same size and weight.
QFont withMonospacedDigits(const QFont& font);

bool isDark(const QPalette& palette);
// Dimmed caption colour.
QColor secondary(const QPalette& palette);
QColor red(const QPalette& palette);
QColor blue(const QPalette& palette);
QColor accent(const QPalette& palette);
// Text colour that reads well on `fill`.
QColor textOn(const QColor& fill);

// The icon theme's trash can, or one drawn in the palette's button text
// colour where the theme has none.
QIcon trashIcon(const QPalette& palette, qreal devicePixelRatio);

} // namespace Theme
