#include "ui/FormCard.h"

#include "ui/ProminentButton.h"
#include "ui/Theme.h"
#include "ui/TrashButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {
constexpr int padding = 12;
constexpr int spacing = 8;
constexpr int rowPadding = 4;
constexpr qreal cornerRadius = 8;
} // namespace

FormCard::FormCard(const QString& title, const QString& placeholder, AddAction onAdd,
                   DeleteAction onDelete, QWidget* parent)
    : QWidget(parent), m_onAdd(std::move(onAdd)), m_onDelete(std::move(onDelete)),
      m_input(new QLineEdit(this)), m_addButton(new ProminentButton(tr("Add"), this)),
      m_emptyLabel(new QLabel(tr("No entries yet."), this)), m_rowsLayout(new QVBoxLayout) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);

    auto* titleLabel = new QLabel(title, this);
    titleLabel->setTextFormat(Qt::PlainText);
    QFont titleFont = font();
    titleFont.setBold(true);
    titleLabel->setFont(titleFont);
    layout->addWidget(titleLabel);

    // Return in the field adds nothing: only the button does.
    m_input->setPlaceholderText(placeholder);
    m_input->setAccessibleName(title);
    m_input->setAccessibleDescription(placeholder);
    m_addButton->setAccessibleName(tr("Add to %1").arg(title));
    connect(m_addButton, &QPushButton::clicked, this, [this] { m_onAdd(); });
    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(m_input, 1, Qt::AlignVCenter);
    inputRow->addWidget(m_addButton, 0, Qt::AlignVCenter);
    layout->addLayout(inputRow);

    layout->addWidget(m_emptyLabel);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    layout->addLayout(m_rowsLayout);

    applyColors();
}

void FormCard::setItems(const QStringList& items) {
    const qsizetype before = m_rows.size();
    qsizetype focusedRow = -1;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].button->hasFocus()) {
            focusedRow = i;
        }
    }

    while (m_rows.size() < items.size()) {
        m_rows.append(makeRow());
    }
    while (m_rows.size() > items.size()) {
        const Row row = m_rows.takeLast();
        // The row may hold the button whose click led here; delete it later.
        m_rowsLayout->removeWidget(row.widget);
        row.widget->hide();
        row.widget->setParent(nullptr);
        row.widget->deleteLater();
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        m_rows[i].label->setText(items[i]);
        m_rows[i].button->setEntry(items[i]);
    }
    m_emptyLabel->setVisible(items.isEmpty());

    // Keep keyboard focus in the card when the focused row went away.
    if (focusedRow >= m_rows.size()) {
        QWidget* next = m_rows.isEmpty() ? static_cast<QWidget*>(m_input) : m_rows.last().button;
        next->setFocus(Qt::OtherFocusReason);
    }
    if (m_rows.size() != before) {
        emit rowsChanged();
    }
}

QList<QWidget*> FormCard::focusOrder() const {
    QList<QWidget*> order{m_input, m_addButton};
    for (const Row& row : m_rows) {
        order.append(row.button);
    }
    return order;
}

void FormCard::applyColors() {
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary(palette()));
    m_emptyLabel->setPalette(secondary);
}

void FormCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, palette().color(QPalette::Base));
    QColor outline = Theme::secondary(palette());
    outline.setAlphaF(outline.alphaF() * 0.25f);
    painter.setPen(QPen(outline, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPath(shape);
}

FormCard::Row FormCard::makeRow() {
    auto* widget = new QWidget(this);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, rowPadding, 0, rowPadding);
    auto* label = new QLabel(widget);
    label->setTextFormat(Qt::PlainText);
    // A long entry is cut at the card's edge instead of widening the window.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* button = new TrashButton(widget);
    connect(button, &TrashButton::clicked, this, [this, button] { m_onDelete(button->entry()); });
    layout->addWidget(label, 1, Qt::AlignVCenter);
    layout->addWidget(button, 0, Qt::AlignVCenter);
    m_rowsLayout->addWidget(widget);
    widget->show();
    return {widget, label, button};
}
