#include "helper/Request.h"

#include "services/HostsText.h"

#include <QElapsedTimer>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxNameLength = 253;
constexpr qsizetype kMaxInput = (Request::kMaxNames + 1) * (kMaxNameLength + 1);

// "yyyy-MM-ddTHH:mm:ssZ" and nothing else: an offset could hide any end.
QDateTime parseUtc(const QByteArray& line) {
    if (line.size() != 20 || !line.endsWith('Z'))
        return {};
    const QDateTime until = QDateTime::fromString(QString::fromLatin1(line), Qt::ISODate);
    return until.isValid() && until.timeSpec() == Qt::UTC ? until : QDateTime();
}

} // namespace

std::optional<Request> Request::read(int fd, const QDateTime& now,
                                     std::chrono::milliseconds deadline, QString* error) {
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
        if (polled <= 0) {
            *error = QStringLiteral("The request did not arrive in time.");
            return std::nullopt;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = QStringLiteral("The request could not be read.");
            return std::nullopt;
        }
        if (n == 0)
            break;
        input.append(buffer, n);
        if (input.size() > kMaxInput) {
            *error = QStringLiteral("The request is too long.");
            return std::nullopt;
        }
    }
    return parse(input, now, error);
}

std::optional<Request> Request::parse(const QByteArray& input, const QDateTime& now,
                                      QString* error) {
    // Every line ends in a line feed; a missing last one means a writer that
    // stopped half-way.
    if (!input.endsWith('\n')) {
        *error = QStringLiteral("The request was cut short.");
        return std::nullopt;
    }
    QList<QByteArray> lines = input.split('\n');
    lines.removeLast();
    Request request;
    request.until = parseUtc(lines.value(0));
    if (!request.until.isValid() || request.until <= now ||
        now.secsTo(request.until) > kLatestEndSecs) {
        *error = QStringLiteral("The request's end time must be in UTC, later than now and at "
                                "most %1 minutes ahead.")
                     .arg(kLatestEndSecs / 60);
        return std::nullopt;
    }
    if (lines.size() - 1 > kMaxNames) {
        *error = QStringLiteral("At most %1 websites can be blocked at once.").arg(kMaxNames);
        return std::nullopt;
    }
    request.names.reserve(lines.size() - 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!HostsText::isHostName(lines[i])) {
            *error = QStringLiteral("Refused a host name that is not a plain lower-case name: %1")
                         .arg(QString::fromUtf8(
                             lines[i].left(kMaxNameLength).toPercentEncoding("./_-:")));
            return std::nullopt;
        }
        request.names.append(QString::fromLatin1(lines[i]));
    }
    return request;
}
