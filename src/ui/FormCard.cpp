#include "ui/FormCard.h"

#include "ui/EntryListView.h"
#include "ui/ProminentButton.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
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
      m_title(new QLabel(title, this)), m_filter(new QLineEdit(this)),
      m_removeAll(new QPushButton(tr("Remove All…"), this)), m_input(new QLineEdit(this)),
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
    // On the title's row, so that a card grows no taller for them.
    m_filter->setPlaceholderText(tr("Filter"));
    m_filter->setAccessibleName(tr("Filter %1").arg(title));
    m_filter->setAccessibleDescription(tr("Shows only the entries holding this text (Ctrl+F)"));
    m_filter->setMaximumWidth(m_filter->fontMetrics().averageCharWidth() * 24);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        // The clear button shows only over text, and its icon loads the
        // image readers: it comes with the first letter, not with the window.
        if (!text.isEmpty() && !m_filter->isClearButtonEnabled()) {
            m_filter->setClearButtonEnabled(true);
            for (QAbstractButton* clear : m_filter->findChildren<QAbstractButton*>())
                clear->setAccessibleName(tr("Clear the filter"));
        }
        m_entries->setFilter(text);
        updateListControls();
    });
    m_removeAll->setAccessibleName(tr("Remove all %1").arg(title));
    connect(m_removeAll, &QPushButton::clicked, this, &FormCard::removeAll);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_filter);
    titleRow->addWidget(m_removeAll);
    layout->addLayout(titleRow);
    m_confirm = [this](const QString& question) {
        return QMessageBox::question(this, m_title->text(), question,
                                     QMessageBox::Yes | QMessageBox::Cancel,
                                     QMessageBox::Cancel) == QMessageBox::Yes;
    };

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
            [this](const QStringList& entries) { m_onDelete(entries); });
    layout->addWidget(m_list);

    m_input->installEventFilter(this);
    m_filter->installEventFilter(this);
    setItems({});
    applyColors();
}

// A field with no typing to take back leaves Ctrl+Z to the window, which
// takes back the last import or removal.
bool FormCard::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) && !field->isUndoAvailable()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FormCard::setItems(const QStringList& items) {
    // Keep the selection where it was, so that Delete can go on removing;
    // a list without focus is left alone, so that assistive technology is
    // not sent to an old row while the user works elsewhere.
    const int selected = m_list->currentIndex().row();
    const bool focused = m_list->hasFocus();
    m_entries->setItems(items);
    const int rows = m_entries->rowCount();
    if (focused && selected >= 0 && rows > 0)
        m_list->setCurrentIndex(m_entries->index(std::min(selected, rows - 1)));
    if (focused && rows == 0)
        m_input->setFocus(Qt::OtherFocusReason);
    updateListControls();
}

void FormCard::updateListControls() {
    const bool any = !m_entries->items().isEmpty();
    const bool shown = m_entries->rowCount() > 0;
    m_emptyLabel->setText(any ? tr("No entry holds “%1”.").arg(m_filter->text())
                              : tr("No entries yet."));
    m_emptyLabel->setVisible(!shown);
    m_list->setVisible(shown);
    // A filter that hides everything stays, so that it can be cleared.
    m_filter->setVisible(any || !m_filter->text().isEmpty());
    m_removeAll->setVisible(any);
    updateListHeight();
}

void FormCard::removeAll() {
    const QStringList items = m_entries->items();
    if (items.isEmpty())
        return;
    const QString question = tr("Remove all %1 entries from %2? Undo (Ctrl+Z) puts them back.")
                                 .arg(items.size())
                                 .arg(m_title->text());
    if (m_confirm(question))
        m_onDelete(items);
}

void FormCard::showEntry(const QString& entry) {
    int row = m_entries->rowOf(entry);
    if (row < 0 && !m_filter->text().isEmpty()) {
        m_filter->clear();
        row = m_entries->rowOf(entry);
    }
    if (row < 0)
        return;
    const QModelIndex index = m_entries->index(row);
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
}

void FormCard::focusFilter() {
    m_filter->setVisible(true);
    m_filter->setFocus(Qt::ShortcutFocusReason);
    m_filter->selectAll();
}

void FormCard::setImporting(bool importing) {
    if (!m_progressRow)
        return;
    m_importButton->setEnabled(!importing);
    m_progress->setValue(0);
    m_progressRow->setVisible(importing);
}

void FormCard::setImportProgress(int perMille) {
    if (m_progress)
        m_progress->setValue(perMille);
}

void FormCard::setImportAction(ImportAction onImport, CancelAction onCancel) {
    m_onImport = std::move(onImport);
    m_onCancel = std::move(onCancel);
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

        m_progressRow = new QWidget(this);
        auto* row = new QHBoxLayout(m_progressRow);
        row->setContentsMargins(0, 0, 0, 0);
        m_progress = new QProgressBar(m_progressRow);
        m_progress->setRange(0, 1000);
        m_progress->setTextVisible(false);
        m_progress->setAccessibleName(tr("Import progress"));
        auto* cancel = new QPushButton(tr("Cancel"), m_progressRow);
        cancel->setAccessibleName(tr("Cancel the import"));
        connect(cancel, &QPushButton::clicked, this, [this] {
            if (m_onCancel)
                m_onCancel();
        });
        row->addWidget(m_progress, 1);
        row->addWidget(cancel);
        auto* cardLayout = static_cast<QVBoxLayout*>(layout());
        cardLayout->insertWidget(cardLayout->indexOf(m_emptyLabel), m_progressRow);
        m_progressRow->hide();
    }
}

void FormCard::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (m_onImport && urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void FormCard::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!m_onImport || !m_importButton->isEnabled() || urls.size() != 1 ||
        !urls.first().isLocalFile())
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
        return {m_filter, m_removeAll, m_input, m_addButton, m_importButton, m_list};
    return {m_filter, m_removeAll, m_input, m_addButton, m_list};
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
