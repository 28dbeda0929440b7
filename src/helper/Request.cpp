#include "helper/Request.h"

#include "hosts/HostsText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxNameLength = 253;
constexpr qsizetype kMaxInput = (Request::kMaxNames + 1) * (kMaxNameLength + 1);

// Plain decimal digits only: no sign, space or leading zero to read past.
qint64 parseLength(QByteArrayView line) {
    if (line.isEmpty() || line.size() > 4 || line.startsWith('0'))
        return 0;
    qint64 value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

Request::Parsed Request::read(int fd, std::chrono::milliseconds deadline) {
    // Read in place: room for the longest request is only address space
    // until the bytes arrive, so the request costs its own size once.
    QByteArray input;
    input.reserve(kMaxInput + 1);
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const qint64 left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        pollfd ready{fd, POLLIN, 0};
        const int polled = left > 0 ? ::poll(&ready, 1, int(left)) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return QStringLiteral("The request did not arrive in time.");
        const qsizetype held = input.size();
        input.resize(kMaxInput + 1);
        const ssize_t n = ::read(fd, input.data() + held, size_t(kMaxInput + 1 - held));
        input.truncate(held + std::max<ssize_t>(n, 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QStringLiteral("The request could not be read.");
        if (n == 0)
            break;
        if (input.size() > kMaxInput)
            return QStringLiteral("The request is too long.");
    }
    return parse(input);
}

Request::Parsed Request::parse(const QByteArray& input) {
    // Every line ends in a line feed; a missing last one means a writer that
    // stopped half-way.
    if (!input.endsWith('\n'))
        return QStringLiteral("The request was cut short.");
    const char* at = input.constData();
    const char* const end = at + input.size();
    const auto nextLine = [&] {
        const auto* lineEnd = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        const QByteArrayView line(at, lineEnd);
        at = lineEnd + 1;
        return line;
    };
    Request request;
    const qint64 length = parseLength(nextLine());
    if (length < 1 || length > HostsText::kLongestSessionSecs)
        return QStringLiteral("The session's length must be a whole number of seconds from 1 "
                              "to %1.")
            .arg(HostsText::kLongestSessionSecs);
    request.length = std::chrono::seconds(length);
    // One pass over the names: each is checked where it stands.
    const qsizetype first = at - input.constData();
    for (int count = 0; at < end; ++count) {
        if (count == kMaxNames)
            return QStringLiteral("At most %1 websites can be blocked at once.").arg(kMaxNames);
        const QByteArrayView line = nextLine();
        if (!HostsText::isHostName(line))
            return QStringLiteral("Refused a host name that is not a plain lower-case name: %1")
                .arg(QString::fromUtf8(line.first(std::min(line.size(), kMaxNameLength))
                                           .toByteArray()
                                           .toPercentEncoding("./_-:")));
    }
    request.names = NameLines(input, first);
    return request;
}
