#include "ui/FormCard.h"

#include "ui/EntryListView.h"
#include "ui/ProminentButton.h"
#include "ui/Theme.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int padding = 12;
constexpr int spacing = 8;
constexpr qreal cornerRadius = 8;
} // namespace

FormCard::FormCard(const QString& title, const QString& placeholder, AddAction onAdd,
                   DeleteAction onDelete, EntryListModel::HintFunction hint, QWidget* parent)
    : QWidget(parent), m_onAdd(std::move(onAdd)), m_onDelete(std::move(onDelete)),
      m_title(new QLabel(title, this)), m_input(new QLineEdit(this)),
      m_addButton(new ProminentButton(tr("Add"), this)),
      m_emptyLabel(new QLabel(tr("No entries yet."), this)),
      m_entries(new EntryListModel(std::move(hint), this)), m_list(new EntryListView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);
    setAccessibleName(title);

    m_title->setTextFormat(Qt::PlainText);
    QFont titleFont = font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    layout->addWidget(m_title);

    // Return in the field adds nothing: only the button does.
    m_input->setPlaceholderText(placeholder);
    m_input->setAccessibleName(title);
    m_input->setAccessibleDescription(placeholder);
    m_addButton->setAccessibleName(tr("Add to %1").arg(title));
    connect(m_addButton, &QPushButton::clicked, this, [this] { m_onAdd(); });
    m_inputRow = new QHBoxLayout;
    m_inputRow->addWidget(m_input, 1, Qt::AlignVCenter);
    m_inputRow->addWidget(m_addButton, 0, Qt::AlignVCenter);
    layout->addLayout(m_inputRow);

    layout->addWidget(m_emptyLabel);
    m_list->setModel(m_entries);
    m_list->setAccessibleName(title);
    connect(m_list, &EntryListView::removeRequested, this,
            [this](const QString& entry) { m_onDelete(entry); });
    layout->addWidget(m_list);

    setItems({});
    applyColors();
}

void FormCard::setItems(const QStringList& items) {
    // Keep the selection where it was, so that Delete can go on removing.
    const int selected = m_list->currentIndex().row();
    const bool focused = m_list->hasFocus();
    m_entries->setItems(items);
    if (selected >= 0 && !items.isEmpty())
        m_list->setCurrentIndex(m_entries->index(std::min(selected, int(items.size()) - 1)));
    m_emptyLabel->setVisible(items.isEmpty());
    m_list->setVisible(!items.isEmpty());
    if (focused && items.isEmpty())
        m_input->setFocus(Qt::OtherFocusReason);
    updateListHeight();
}

void FormCard::setImportAction(ImportAction onImport) {
    m_onImport = std::move(onImport);
    if (!m_importButton) {
        m_importButton = new QPushButton(tr("Import…"), this);
        m_importButton->setAccessibleName(tr("Import %1 from a file").arg(m_title->text()));
        connect(m_importButton, &QPushButton::clicked, this, [this] {
            const QString path = QFileDialog::getOpenFileName(
                this, tr("Import %1").arg(m_title->text()), QString(),
                tr("Lists and hosts files (*.txt *.list *.hosts hosts);;All files (*)"));
            if (!path.isEmpty())
                m_onImport(path);
        });
        m_inputRow->addWidget(m_importButton, 0, Qt::AlignVCenter);
        setAcceptDrops(true);
    }
}

void FormCard::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (m_onImport && urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void FormCard::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!m_onImport || urls.size() != 1 || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    m_onImport(urls.first().toLocalFile());
}

void FormCard::refreshHints() {
    m_entries->refreshHints();
}

void FormCard::setMaxVisibleRows(int rows) {
    if (rows == m_maxVisibleRows)
        return;
    m_maxVisibleRows = rows;
    updateListHeight();
}

int FormCard::entriesHeight(int rows) const {
    return std::min(rows, m_entries->rowCount()) * m_list->rowHeight();
}

void FormCard::setExtraRows(int rows) {
    rows = std::clamp(rows, 0, rowsBeyondMax());
    if (rows == m_extraRows)
        return;
    m_extraRows = rows;
    updateListHeight();
}

int FormCard::rowsBeyondMax() const {
    return std::max(0, m_entries->rowCount() - m_maxVisibleRows);
}

int FormCard::grownHeight() const {
    return std::min(m_extraRows, rowsBeyondMax()) * m_list->rowHeight();
}

int FormCard::rowHeight() const {
    return m_list->rowHeight();
}

void FormCard::updateListHeight() {
    m_list->setVisibleRows(std::min(m_maxVisibleRows + m_extraRows, m_entries->rowCount()));
}

QList<QWidget*> FormCard::focusOrder() const {
    if (m_importButton)
        return {m_input, m_addButton, m_importButton, m_list};
    return {m_input, m_addButton, m_list};
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
