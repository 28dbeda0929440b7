// Prints the WCAG 2 contrast ratio of every pair of colours the window draws,
// in light and dark palettes, against the AA levels (4.5:1 for text, 3:1 for
// control outlines). A text field's outline is read back from a field drawn
// with the application's style. Exits 1 when a pair falls short.
//
//   QT_QPA_PLATFORM=offscreen contrast_bench

#include "ui/FieldStyle.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QStyleFactory>

#include <cstdio>
#include <memory>

namespace {

QPalette darkPalette(QColor window, QColor base, QColor text, QColor highlight) {
    QPalette palette(QColor(window).lighter(130), window);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(window).lighter(120));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, text);
    return palette;
}

QPalette lightPalette(QColor window, QColor text, QColor highlight) {
    QPalette palette = darkPalette(window, Qt::white, text, highlight);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

// The outline of an unfocused field as drawn: the darkest (or, on a dark
// field, lightest) pixel of its middle column.
QColor drawnFieldOutline(const QPalette& palette) {
    QLineEdit field;
    field.setPalette(palette);
    field.resize(200, field.sizeHint().height());
    const QImage image = field.grab().toImage();
    const QColor base = palette.color(QPalette::Base);
    QColor outline = base;
    for (int y = 0; y < image.height(); ++y) {
        const QColor pixel = image.pixelColor(image.width() / 2, y);
        if (Theme::contrastRatio(pixel, base) > Theme::contrastRatio(outline, base))
            outline = pixel;
    }
    return outline;
}

int shortfalls = 0;

void report(const char* what, const QColor& foreground, const QColor& background, double needed) {
    const double ratio = Theme::contrastRatio(foreground, background);
    const bool enough = ratio >= needed;
    shortfalls += enough ? 0 : 1;
    std::printf("  %-34s %-8s on %-8s %5.2f:1  (needs %.1f) %s\n", what,
                qPrintable(foreground.name()), qPrintable(background.name()), ratio, needed,
                enough ? "ok" : "SHORT");
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle(new FieldStyle(QStyleFactory::create(QStringLiteral("Fusion"))));

    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const struct {
        const char* name;
        QPalette palette;
    } palettes[] = {
        {"Fusion (light)", fusion->standardPalette()},
        {"Breeze (light)",
         lightPalette(QColor(239, 240, 241), QColor(35, 38, 41), QColor(61, 174, 233))},
        {"Breeze Dark", darkPalette(QColor(42, 46, 50), QColor(27, 30, 32), QColor(252, 252, 252),
                                    QColor(61, 174, 233))},
        {"Adwaita-like dark", darkPalette(QColor(45, 45, 48), QColor(30, 30, 32),
                                          QColor(235, 235, 235), QColor(10, 132, 255))},
    };
    for (const auto& [name, palette] : palettes) {
        std::printf("%s\n", name);
        const QColor window = palette.color(QPalette::Window);
        const QColor base = palette.color(QPalette::Base);
        const QColor red = Theme::red(palette);
        const QColor blue = Theme::blue(palette);
        const QColor accent = Theme::accent(palette);
        report("body text", palette.color(QPalette::WindowText), window, Theme::textContrast);
        report("secondary text", Theme::secondary(palette), window, Theme::textContrast);
        report("secondary text in a card", Theme::secondary(palette), base, Theme::textContrast);
        report("red error text", red, window, Theme::textContrast);
        report("placeholder in a field", Theme::placeholder(palette), base, Theme::textContrast);
        report("Start caption on blue", Theme::textOn(blue), blue, Theme::textContrast);
        report("Stop caption on red", Theme::textOn(red), red, Theme::textContrast);
        report("Add caption on accent", Theme::textOn(accent), accent, Theme::textContrast);
        const QColor highlight = palette.color(QPalette::Highlight);
        report("selected entry on highlight", Theme::textOn(highlight), highlight,
               Theme::textContrast);
        // A busy button is drawn halfway to the window's colour.
        const QColor faded((blue.red() + window.red()) / 2, (blue.green() + window.green()) / 2,
                           (blue.blue() + window.blue()) / 2);
        report("busy caption on faded fill", Theme::textOn(faded), faded, Theme::textContrast);
        report("blue button on window", blue, window, Theme::borderContrast);
        report("red button on window", red, window, Theme::borderContrast);
        report("field outline on window", Theme::controlBorder(palette), window,
               Theme::borderContrast);
        report("field outline as drawn, on field", drawnFieldOutline(palette), base,
               Theme::borderContrast);
        report("focused field outline", accent, base, Theme::borderContrast);
    }
    std::printf("%d pair(s) below AA\n", shortfalls);
    return shortfalls == 0 ? 0 : 1;
}
