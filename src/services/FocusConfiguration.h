#pragma once

#include <QStringList>

// The persisted record: the user's two block lists, verbatim.
struct FocusConfiguration {
    QStringList websites;
    QStringList appBundleIds;

    bool operator==(const FocusConfiguration&) const = default;
};
