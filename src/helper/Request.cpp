#include "helper/Request.h"

#include "hosts/HostsText.h"

#include <QElapsedTimer>

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
    for (const char c : line)
        if (c < '0' || c > '9')
            return 0;
    return line.toLongLong();
}

} // namespace

Request::Parsed Request::read(int fd, std::chrono::milliseconds deadline) {
    QByteArray input;
    QElapsedTimer elapsed;
    elapsed.start();
    char buffer[65536];
    for (;;) {
        const qint64 left = deadline.count() - elapsed.elapsed();
        pollfd ready{fd, POLLIN, 0};
        const int polled = left > 0 ? ::poll(&ready, 1, int(left)) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return QStringLiteral("The request did not arrive in time.");
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QStringLiteral("The request could not be read.");
        if (n == 0)
            break;
        input.append(buffer, n);
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
    // One pass over the names: each is checked and kept as it is read.
    request.text = QString::fromLatin1(input);
    request.names.reserve(std::min<qsizetype>(input.size() / 4, kMaxNames));
    while (at < end) {
        if (request.names.size() == kMaxNames)
            return QStringLiteral("At most %1 websites can be blocked at once.").arg(kMaxNames);
        const QByteArrayView line = nextLine();
        if (!HostsText::isHostName(line))
            return QStringLiteral("Refused a host name that is not a plain lower-case name: %1")
                .arg(QString::fromUtf8(line.first(std::min(line.size(), kMaxNameLength))
                                           .toByteArray()
                                           .toPercentEncoding("./_-:")));
        request.names.append(QString::fromRawData(
            request.text.constData() + (line.data() - input.constData()), line.size()));
    }
    return request;
}
