#pragma once

#include <QString>
#include <QStringList>

// Which of the two block lists.
enum class BlockList { Websites, Applications };

// The last import or removal on a list, and how to take it back.
class ListUndo {
public:
    ListUndo(BlockList list, QStringList before, QStringList after, QString undoneText);

    BlockList list() const { return m_list; }
    // What the status line says once it is undone.
    const QString& undoneText() const { return m_undoneText; }
    // The list with the change taken back: as it was before when nothing
    // changed since; otherwise the entries the change added go and those it
    // removed come back, later edits staying.
    QStringList undone(const QStringList& now) const;

private:
    BlockList m_list;
    QStringList m_before;
    QStringList m_after;
    QString m_undoneText;
};
