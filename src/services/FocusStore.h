#pragma once

#include "base/FileError.h"
#include "base/Result.h"
#include "models/FocusConfiguration.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reads and writes the two block lists as a small JSON file.
class FocusStore {
public:
    // Without a location the default per-user one is used and its directory
    // created once, here.
    explicit FocusStore(std::optional<QString> fileURL = std::nullopt);

    const QString& fileURL() const { return m_fileURL; }
    // Where a file that could not be loaded is kept before it is replaced.
    QString unreadableCopyPath() const;

    // Nothing when the file is absent, unreadable or does not decode.
    std::optional<FocusConfiguration> load();
    // Atomic: a failure leaves the file as it was and says why.
    Result<void, FileError> save(const FocusConfiguration& configuration);

    // The exact bytes save writes: compact JSON, "websites" first.
    static QByteArray encode(const FocusConfiguration& configuration);
    static std::optional<FocusConfiguration> decode(const QByteArray& bytes);

private:
    Result<void, FileError> keepUnreadableCopy() const;

    QString m_fileURL;
    // Set when load met a file it could not use; cleared once a copy of it
    // is kept (or it is gone) so the first save never destroys it.
    bool m_loadFoundDamagedFile = false;
};
