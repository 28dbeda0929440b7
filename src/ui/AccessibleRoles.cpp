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

QAccessibleInterface* create(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("FormCard") || className == QLatin1String("SessionCard") ||
        className == QLatin1String("SegmentedControl"))
        return new QAccessibleWidget(widget, QAccessible::Grouping);
    if (className == QLatin1String("StatusLine"))
        return new StatusLineInterface(widget);
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
