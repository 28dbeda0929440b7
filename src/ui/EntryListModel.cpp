#include "ui/EntryListModel.h"

EntryListModel::EntryListModel(HintFunction hint, QObject* parent)
    : QAbstractListModel(parent), m_hint(std::move(hint)) {}

void EntryListModel::setItems(const QStringList& items) {
    beginResetModel();
    m_items = items;
    m_hints.clear();
    applyFilter();
    endResetModel();
}

void EntryListModel::setFilter(const QString& text) {
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    applyFilter();
    endResetModel();
}

void EntryListModel::applyFilter() {
    m_shown.clear();
    if (m_filter.isEmpty())
        return;
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].contains(m_filter, Qt::CaseInsensitive))
            m_shown.append(i);
    }
}

int EntryListModel::rowOf(const QString& entry) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (m_items[itemAt(row)] == entry)
            return row;
    }
    return -1;
}

void EntryListModel::refreshHints() {
    m_hints.clear();
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), {HintRole});
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(m_filter.isEmpty() ? m_items.size() : m_shown.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int item = itemAt(index.row());
    const QString& entry = m_items[item];
    const auto shown = [&] {
        return entry.size() > shownLength ? entry.left(shownLength) + QChar(0x2026) : entry;
    };
    switch (role) {
    case Qt::DisplayRole:
        return shown();
    case EntryRole:
        return entry;
    case HintRole:
        return hint(item);
    case Qt::AccessibleTextRole: {
        const QString hintText = hint(item);
        return hintText.isEmpty() ? shown() : shown() + QStringLiteral(", ") + hintText;
    }
    case Qt::AccessibleDescriptionRole:
        return tr("Press Delete to remove");
    default:
        return {};
    }
}

QString EntryListModel::hint(int item) const {
    if (!m_hint)
        return {};
    const auto cached = m_hints.constFind(item);
    if (cached != m_hints.constEnd())
        return *cached;
    return *m_hints.insert(item, m_hint(m_items[item]));
}
