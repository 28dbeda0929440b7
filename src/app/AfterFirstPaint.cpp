#include "app/AfterFirstPaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

AfterFirstPaint::AfterFirstPaint(QWidget* window, std::function<void()> then)
    : QObject(window), m_then(std::move(then)) {
    window->installEventFilter(this);
}

bool AfterFirstPaint::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        // Zero time: after the painted frame has been flushed.
        QTimer::singleShot(0, this, [this] {
            if (m_then)
                std::exchange(m_then, nullptr)();
        });
    }
    return false;
}
