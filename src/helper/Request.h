#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// What a block is asked to write: read whole from standard input, then
// checked, so a request cut short is refused and never half applied.
struct Request {
    QDateTime until;
    QStringList names;

    static constexpr int kMaxNames = 100000;
    // The longest session, and a little for a slow password prompt.
    static constexpr qint64 kLatestEndSecs = 65 * 60;

    // Reads `fd` to its end within `deadline`. The end time must be UTC,
    // later than `now` and no later than kLatestEndSecs after it.
    static std::optional<Request> read(int fd, const QDateTime& now,
                                       std::chrono::milliseconds deadline, QString* error);
    static std::optional<Request> parse(const QByteArray& input, const QDateTime& now,
                                        QString* error);
};
