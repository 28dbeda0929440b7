#include "services/ListUndo.h"

#include "base/ListEntry.h"

#include <QSet>

namespace {

QSet<QString> keysOf(const QStringList& entries) {
    QSet<QString> keys;
    keys.reserve(entries.size());
    for (const QString& entry : entries)
        keys.insert(listEntryKey(entry));
    return keys;
}

} // namespace

ListUndo::ListUndo(BlockList list, QStringList before, QStringList after, QString undoneText)
    : m_list(list), m_before(std::move(before)), m_after(std::move(after)),
      m_undoneText(std::move(undoneText)) {}

QStringList ListUndo::undone(const QStringList& now) const {
    if (now == m_after)
        return m_before;
    const QSet<QString> before = keysOf(m_before);
    const QSet<QString> after = keysOf(m_after);
    QStringList list;
    QSet<QString> listed;
    for (const QString& entry : now) {
        const QString key = listEntryKey(entry);
        if (!after.contains(key) || before.contains(key)) {
            list.append(entry);
            listed.insert(key);
        }
    }
    for (const QString& entry : m_before) {
        const QString key = listEntryKey(entry);
        if (!after.contains(key) && !listed.contains(key)) {
            list.append(entry);
            listed.insert(key);
        }
    }
    return list;
}
