#pragma once

#include "base/Result.h"
#include "hosts/HostsText.h"

#include <QString>
#include <QStringList>

#include <chrono>

// What a block is asked to write: read whole from standard input, then
// checked, so a request cut short is refused and never half applied.
struct Request {
    // The session's length: its end is fixed when the block is written, so
    // the time the password prompt took is not taken off the session.
    std::chrono::seconds length{0};
    // The host names, as views of `text`: valid while this request lives.
    QStringList names;
    // The request's characters, in one piece: a request of 100,000 names
    // costs one allocation, not one a name.
    QString text;

    static constexpr int kMaxNames = HostsText::kMostBlockedNames;

    // Reads `fd` to its end within `deadline`. The first line is the length
    // in whole seconds, 1 to HostsText::kLongestSessionSecs.
    // A refusal carries its reason, in the user's words.
    using Parsed = Result<Request, QString>;
    static Parsed read(int fd, std::chrono::milliseconds deadline);
    static Parsed parse(const QByteArray& input);
};
