#include "ui/AccessibleRoles.h"

#include "ui/EntryListAccessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QLabel>

namespace AccessibleRoles {

namespace {

// Its name is its message, so that a name change carries the new text.
class StatusLineInterface : public QAccessibleWidget {
public:
    explicit StatusLineInterface(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::StatusBar) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

// A countdown changes every second; a screen reader reads the label as it
// is now, and hears of it only through the name's changes.
class RemainingTimeInterface : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit RemainingTimeInterface(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? shown() : QAccessibleWidget::text(kind);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // Read only, without a cursor or selection.
    QString text(int start, int end) const override { return shown().mid(start, end - start); }
    int characterCount() const override { return int(shown().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    QString shown() const { return static_cast<const QLabel*>(widget())->text(); }
};

QAccessibleInterface* create(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("FormCard") || className == QLatin1String("SessionCard") ||
        className == QLatin1String("SegmentedControl"))
        return new QAccessibleWidget(widget, QAccessible::Grouping);
    if (className == QLatin1String("StatusLine"))
        return new StatusLineInterface(widget);
    if (className == QLatin1String("QLabel") && widget->objectName() == remainingTimeName)
        return new RemainingTimeInterface(widget);
    // The window itself, which Qt would leave a nameless filler.
    if (className == QLatin1String("ContentView") && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("EntryListView"))
        return new EntryListAccessible(static_cast<QAbstractItemView*>(widget));
    return nullptr;
}

} // namespace

void install() {
    static const bool installed = [] {
        QAccessible::installFactory(create);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace AccessibleRoles
