#pragma once

#include "base/FileError.h"
#include "base/Result.h"
#include "services/FocusConfiguration.h"

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
    // What load found and could not use, kept until the first save has
    // copied it aside: another process may replace the file in between.
    struct Unusable {
        // Absent when a regular file was there but could not be read.
        std::optional<QByteArray> bytes;
        bool regularFile = false;
    };

    Result<void, FileError> keepUnreadableCopy(const Unusable& found) const;

    QString m_fileURL;
    std::optional<Unusable> m_unusable;
};
