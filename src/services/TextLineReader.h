#pragma once

#include "base/Result.h"

#include <QString>
#include <QStringView>

#include <functional>

// Reads a text file a line at a time in bounded memory, whatever the file
// holds: only a regular file is read (a FIFO or a device never blocks or
// floods the reader), and a line longer than kLongestLine is passed over
// without being kept. Text is UTF-8 (with or without its byte-order mark),
// UTF-16 with a byte-order mark, or else Latin-1, a line at a time; a file
// with NUL or other control bytes is no text and is refused.
class TextLineReader {
public:
    static constexpr qsizetype kLongestLine = 64 * 1024;

    struct Sink {
        // Each line without its line break; false stops the reading.
        std::function<bool(QStringView line)> line;
        // Each line passed over for its length.
        std::function<void()> overlong;
        // Now and then, bytes read of all; false cancels.
        std::function<bool(qint64 read, qint64 total)> progress;
    };

    // An error is said in the user's words, naming the file.
    using Read = Result<void, QString>;
    static Read read(const QString& path, const Sink& sink);
};
