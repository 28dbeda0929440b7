#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Reads an application's desktop-entry ID from the systemd unit its process
// was started in, as desktops and launchers name those units.
class CgroupIdentity {
public:
    // One line of /proc/PID/cgroup: the cgroup v2 line ("0::/...") or the
    // v1 "name=systemd" line. Other controllers and non-application units
    // give nothing.
    static std::optional<QString> fromLine(QByteArrayView line);
    // The whole file: the v2 line is preferred, then the v1 systemd line.
    static std::optional<QString> fromFile(QByteArrayView contents);
    // The identifier encoded in one unit name ("app-gnome-org.gnome.Maps-42.scope").
    static std::optional<QString> fromUnitName(QByteArrayView unit);
    // Undoes systemd's "\xNN" escaping.
    static QByteArray unescape(QByteArrayView escaped);
};
