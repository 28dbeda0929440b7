#include "platform/linux/workspace/CgroupIdentity.h"

#include <QList>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Launchers put short names without dots before the ID; IDs of any standing
// are reverse-DNS names, so a dotless first part of several is a launcher.
QByteArray dropLauncher(const QByteArray& body) {
    const QList<QByteArray> parts = body.split('-');
    if (parts.size() < 2 || parts.first().contains('.') || parts.first().isEmpty())
        return body;
    return body.mid(parts.first().size() + 1);
}

std::optional<QString> validIdentifier(const QByteArray& escaped) {
    if (escaped.isEmpty())
        return std::nullopt;
    const QByteArray decoded = CgroupIdentity::unescape(escaped);
    if (decoded.isEmpty() || decoded.contains('/'))
        return std::nullopt;
    return QString::fromUtf8(decoded);
}

std::optional<QString> fromAppUnit(QByteArrayView unit) {
    QByteArray body;
    if (unit.endsWith(".scope")) {
        // app-[<launcher>-]<ID>-<random>.scope
        body = unit.chopped(6).toByteArray();
        const qsizetype dash = body.lastIndexOf('-');
        if (dash < 0)
            return std::nullopt;
        body.truncate(dash);
    } else if (unit.endsWith(".service")) {
        // app-[<launcher>-]<ID>[@<random>].service
        body = unit.chopped(8).toByteArray();
        const qsizetype at = body.indexOf('@');
        if (at >= 0)
            body.truncate(at);
    } else {
        return std::nullopt;
    }
    if (!body.startsWith("app-"))
        return std::nullopt;
    body.remove(0, 4);
    if (body.startsWith("flatpak-"))
        return validIdentifier(body.mid(8));
    return validIdentifier(dropLauncher(body));
}

std::optional<QString> fromSnapUnit(QByteArrayView unit) {
    // snap.<snap>.<app>.<uuid>.scope; the exported entry is <snap>_<app>.desktop
    if (!unit.endsWith(".scope"))
        return std::nullopt;
    const QList<QByteArray> parts = unit.chopped(6).toByteArray().split('.');
    if (parts.size() != 4 || parts[1].isEmpty() || parts[2].isEmpty() || parts[3].isEmpty())
        return std::nullopt;
    return validIdentifier(parts[1] + '_' + parts[2]);
}

std::optional<QString> fromDbusUnit(QByteArrayView unit) {
    // dbus-:<bus>-<name>@<n>.service, started for D-Bus activation; the bus
    // name of an activatable application is its desktop-entry ID.
    if (!unit.endsWith(".service"))
        return std::nullopt;
    QByteArray body = unit.sliced(6, unit.size() - 6 - 8).toByteArray();
    const qsizetype at = body.indexOf('@');
    if (at >= 0)
        body.truncate(at);
    const qsizetype dash = body.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    const auto id = validIdentifier(body.mid(dash + 1));
    if (!id || !id->contains('.'))
        return std::nullopt;
    return id;
}

} // namespace

QByteArray CgroupIdentity::unescape(QByteArrayView escaped) {
    QByteArray out;
    out.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x') {
            const int hi = hexValue(escaped[i + 2]);
            const int lo = hexValue(escaped[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out.append(char(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.append(escaped[i]);
    }
    return out;
}

std::optional<QString> CgroupIdentity::fromUnitName(QByteArrayView unit) {
    if (unit.startsWith("app-"))
        return fromAppUnit(unit);
    if (unit.startsWith("snap."))
        return fromSnapUnit(unit);
    if (unit.startsWith("dbus-:"))
        return fromDbusUnit(unit);
    return std::nullopt;
}

std::optional<QString> CgroupIdentity::fromLine(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    const qsizetype first = line.indexOf(':');
    if (first < 0)
        return std::nullopt;
    const qsizetype second = line.indexOf(':', first + 1);
    if (second < 0)
        return std::nullopt;
    const QByteArrayView hierarchy = line.sliced(0, first);
    const QByteArrayView controllers = line.sliced(first + 1, second - first - 1);
    const bool unified = hierarchy == "0" && controllers.isEmpty();
    if (!unified && controllers != "name=systemd")
        return std::nullopt;
    const QList<QByteArray> path = line.sliced(second + 1).toByteArray().split('/');
    // The deepest application unit wins: processes may sit in sub-cgroups
    // an application makes below its own unit.
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (const auto id = fromUnitName(path[i]))
            return id;
    }
    return std::nullopt;
}

std::optional<QString> CgroupIdentity::fromFile(QByteArrayView contents) {
    std::optional<QString> legacy;
    qsizetype start = 0;
    while (start < contents.size()) {
        qsizetype end = contents.indexOf('\n', start);
        if (end < 0)
            end = contents.size();
        const QByteArrayView line = contents.sliced(start, end - start);
        if (line.startsWith("0::")) {
            if (auto id = fromLine(line))
                return id;
        }
        if (!legacy && line.contains(":name=systemd:"))
            legacy = fromLine(line);
        start = end + 1;
    }
    return legacy;
}
