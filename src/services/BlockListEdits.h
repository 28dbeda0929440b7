#pragma once

#include "services/ListUndo.h"
#include "services/WebsiteImporter.h"

#include <QString>
#include <QStringList>

#include <optional>

// The list edits' rules and words, apart from the controller that applies
// them: which entry is the same as another, what removal leaves, when the
// website list is full, and what the status line says.
namespace BlockListEdits {

// The list's entry that is the same as `entry`, if any.
std::optional<QString> listed(const QStringList& list, const QString& entry);
// Every copy of each of `entries` goes, as each is the same entry.
QStringList without(QStringList list, const QStringList& entries);
// Whether adding host name `name` would take `websites` past what one
// session blocks.
bool isFullFor(const QStringList& websites, const QString& name);

QString count(BlockList list, qsizetype count);
QString fullText();
QString importSummary(const WebsiteImporter::Outcome& outcome);

} // namespace BlockListEdits
