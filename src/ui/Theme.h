#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
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

// The least contrast of text with its background, and of a control's
// outline with what surrounds it (WCAG 2, level AA).
constexpr double textContrast = 4.5;
constexpr double borderContrast = 3.0;

// WCAG 2 contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor& first, const QColor& second);
// `color` made darker (on light backgrounds) or lighter (on dark ones), its
// hue kept, until it has at least `ratio` against each of `backgrounds`.
QColor withContrast(const QColor& color, const QList<QColor>& backgrounds, double ratio);

bool isDark(const QPalette& palette);
// Every colour below is opaque and reads at least textContrast (borders:
// borderContrast) on both the window and the card (Base) background.
// Dimmed caption colour.
QColor secondary(const QPalette& palette);
QColor red(const QPalette& palette);
QColor blue(const QPalette& palette);
QColor accent(const QPalette& palette);
// Outline of a text field or segmented control.
QColor controlBorder(const QPalette& palette);
// Placeholder text in a field.
QColor placeholder(const QPalette& palette);
// Black or white, whichever reads better on `fill`: always above textContrast.
QColor textOn(const QColor& fill);

// The application's own icon from the icon theme (as installed with the
// desktop entry), or a plain mark in the accent colour where it is missing.
QIcon applicationIcon(const QString& applicationId, const QPalette& palette);

// The icon theme's trash can, or one drawn in the palette's button text
// colour where the theme has none.
QIcon trashIcon(const QPalette& palette, qreal devicePixelRatio);

} // namespace Theme
