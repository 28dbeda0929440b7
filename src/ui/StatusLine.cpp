#include "ui/StatusLine.h"

#include <QAccessible>

StatusLine::StatusLine(QWidget* parent) : WrappedLabel({}, parent) {
    setTextFormat(Qt::PlainText);
}

void StatusLine::setMessage(const QString& message) {
    // QLabel announces a new text itself; a repeated one is announced here,
    // since the user acted again and should hear the answer again.
    const bool repeated = message == text();
    setText(message);
    if (repeated) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}
