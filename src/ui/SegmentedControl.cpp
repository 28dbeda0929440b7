#include "ui/SegmentedControl.h"

#include "ui/SegmentButton.h"
#include "ui/Theme.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

SegmentedControl::SegmentedControl(const QList<int>& values,
                                   const std::function<QString(int)>& caption, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
    m_group->setExclusive(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(1);
    for (const int value : values) {
        auto* segment = new SegmentButton(caption(value), this);
        m_group->addButton(segment, value);
        layout->addWidget(segment);
        m_segments.append(segment);
    }
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        update();
        if (checked) {
            updateFocusPolicies();
            emit valueChanged(id);
        }
    });
    for (SegmentButton* segment : m_segments) {
        segment->installEventFilter(this);
    }
    updateFocusPolicies();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int SegmentedControl::value() const {
    return m_group->checkedId();
}

void SegmentedControl::setValue(int value) {
    if (QAbstractButton* segment = m_group->button(value)) {
        segment->setChecked(true);
    }
}

bool SegmentedControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    int step = 0;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step = layoutDirection() == Qt::RightToLeft ? 1 : -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step = layoutDirection() == Qt::RightToLeft ? -1 : 1;
        break;
    default:
        return QWidget::eventFilter(watched, event);
    }
    const qsizetype index = m_segments.indexOf(static_cast<SegmentButton*>(watched));
    const qsizetype next = index + step;
    if (index >= 0 && next >= 0 && next < m_segments.size()) {
        m_segments[next]->click();
        m_segments[next]->setFocus(Qt::TabFocusReason);
    }
    return true;
}

// One tab stop, on the selected segment; the arrow keys move the selection.
void SegmentedControl::updateFocusPolicies() {
    for (SegmentButton* segment : m_segments) {
        segment->setFocusPolicy(segment->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(shape, palette().color(QPalette::Button));
    painter.setPen(QPen(Theme::controlBorder(palette()), 1));
    painter.drawPath(shape);

    // Separators between neighbours that are both unselected.
    for (qsizetype i = 1; i < m_segments.size(); ++i) {
        if (m_segments[i - 1]->isChecked() || m_segments[i]->isChecked()) {
            continue;
        }
        const qreal x = m_segments[i]->geometry().left() - 0.5;
        painter.drawLine(QPointF(x, 6), QPointF(x, height() - 6));
    }
}
