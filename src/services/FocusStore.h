#pragma once

#include "models/FocusConfiguration.h"

#include <QString>

#include <optional>

// Reads and writes the two block lists as a small JSON file.
class FocusStore {
public:
    // Without a location the default per-user one is used and its directory
    // created once, here.
    explicit FocusStore(std::optional<QString> fileURL = std::nullopt);

    const QString& fileURL() const { return m_fileURL; }

    // Nothing when the file is absent, unreadable or does not decode.
    std::optional<FocusConfiguration> load();
    // Atomic; failures are dropped silently.
    void save(const FocusConfiguration& configuration);

private:
    QString m_fileURL;
    bool m_loadFoundDamagedFile = false;
};
