#include "ui/WrappedLabel.h"

#include <QEvent>

#include <algorithm>

WrappedLabel::WrappedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setWordWrap(true);
}

int WrappedLabel::heightForWidth(int width) const {
    // QLabel::setText is not virtual, so the text is compared instead.
    if (text() != m_measuredText) {
        forget();
        m_measuredText = text();
    }
    const auto known =
        std::find_if(m_measures.begin(), m_measures.end(),
                     [width](const Measure& measure) { return measure.width == width; });
    if (known != m_measures.end())
        return known->height;
    const int height = QLabel::heightForWidth(width);
    m_measures[m_next] = {width, height};
    m_next = (m_next + 1) % m_measures.size();
    return height;
}

void WrappedLabel::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ContentsRectChange:
        forget();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}

void WrappedLabel::forget() const {
    m_measures.fill({});
}
