#include "ui/EntryListModel.h"

EntryListModel::EntryListModel(HintFunction hint, QObject* parent)
    : QAbstractListModel(parent), m_hint(std::move(hint)) {}

void EntryListModel::setItems(const QStringList& items) {
    beginResetModel();
    m_items = items;
    m_hints.clear();
    endResetModel();
}

void EntryListModel::refreshHints() {
    m_hints.clear();
    if (!m_items.isEmpty())
        emit dataChanged(index(0), index(int(m_items.size()) - 1), {HintRole});
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const QString& entry = m_items[index.row()];
    const auto shown = [&] {
        return entry.size() > shownLength ? entry.left(shownLength) + QChar(0x2026) : entry;
    };
    switch (role) {
    case Qt::DisplayRole:
        return shown();
    case EntryRole:
        return entry;
    case HintRole:
        return hint(index.row());
    case Qt::AccessibleTextRole: {
        const QString hintText = hint(index.row());
        return hintText.isEmpty() ? shown() : shown() + QStringLiteral(", ") + hintText;
    }
    case Qt::AccessibleDescriptionRole:
        return tr("Press Delete to remove");
    default:
        return {};
    }
}

QString EntryListModel::hint(int row) const {
    if (!m_hint)
        return {};
    const auto cached = m_hints.constFind(row);
    if (cached != m_hints.constEnd())
        return *cached;
    return *m_hints.insert(row, m_hint(m_items[row]));
}
