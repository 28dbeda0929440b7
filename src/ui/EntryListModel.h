#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QStringList>

#include <functional>

// The entries of one block list, as rows. An entry is drawn and read out only
// up to shownLength characters, so a very long one costs no more to show than
// a short one. Hints are worked out for the rows that are asked for, and kept
// until the entries change. A filter shows only the entries holding its
// text, whatever their case.
class EntryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { EntryRole = Qt::UserRole, HintRole };
    using HintFunction = std::function<QString(const QString& entry)>;
    static constexpr qsizetype shownLength = 256;

    explicit EntryListModel(HintFunction hint = {}, QObject* parent = nullptr);

    // Every entry, shown or filtered out.
    const QStringList& items() const { return m_items; }
    void setItems(const QStringList& items);
    const QString& filter() const { return m_filter; }
    void setFilter(const QString& text);
    // The row that shows `entry`; -1 when none does.
    int rowOf(const QString& entry) const;
    // Asks for every hint again, as the facts behind them changed.
    void refreshHints();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString hint(int item) const;
    // The entry a row shows, as an index into m_items.
    int itemAt(int row) const { return m_filter.isEmpty() ? row : m_shown[row]; }
    void applyFilter();

    HintFunction m_hint;
    QStringList m_items;
    QString m_filter;
    QList<int> m_shown;
    mutable QHash<int, QString> m_hints;
};
