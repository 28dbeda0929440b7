#pragma once

#include "base/Result.h"
#include "hosts/HostsText.h"
#include "hosts/NameLines.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// What a block is asked to write: read whole from standard input, then
// checked, so a request cut short is refused and never half applied.
struct Request {
    // The session's length: its end is fixed when the block is written, so
    // the time the password prompt took is not taken off the session.
    std::chrono::seconds length{0};
    // The host names, one a line, in the request's own bytes: a request of
    // 100,000 names costs its size and nothing a name.
    NameLines names;

    static constexpr int kMaxNames = HostsText::kMostBlockedNames;

    // Reads `fd` to its end within `deadline`. The first line is the length
    // in whole seconds, 1 to HostsText::kLongestSessionSecs.
    // A refusal carries its reason, in the user's words.
    using Parsed = Result<Request, QString>;
    static Parsed read(int fd, std::chrono::milliseconds deadline);
    static Parsed parse(const QByteArray& input);
};
