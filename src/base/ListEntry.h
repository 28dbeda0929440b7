#pragma once

#include <QString>

// When two block-list entries are the same entry: whatever their case and
// however their accents are composed, as desktop entries are matched. The
// entries themselves stay as typed; only comparisons use this key.
inline QString listEntryKey(const QString& entry) {
    return entry.normalized(QString::NormalizationForm_C).toCaseFolded();
}
