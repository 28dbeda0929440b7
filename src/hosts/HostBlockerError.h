#pragma once

#include <QString>

#include <optional>

// Why a block or its removal failed: the one error of that path, from the
// platform's runners up to the window.
class HostBlockerError {
public:
    enum class Kind {
        // The privileged run ended with another status; carries its output.
        CommandFailed,
        // The user refused or cancelled the system's password prompt.
        NotAuthorized,
        // A block was refused because a section that names no owner is in
        // the hosts file, which only an administrator may remove; carries
        // the run's output.
        UnownedSection,
        // A file or process of the platform failed; carries the platform's
        // own text, passed on unchanged, which may be empty.
        Platform,
    };

    static HostBlockerError commandFailed(QString detail,
                                          QString hostsPath = QStringLiteral("/etc/hosts"));
    static HostBlockerError notAuthorized(QString hostsPath = QStringLiteral("/etc/hosts"));
    static HostBlockerError unownedSection(QString detail,
                                           QString hostsPath = QStringLiteral("/etc/hosts"));
    static HostBlockerError platform(QString text);

    Kind kind() const { return m_kind; }
    const QString& detail() const { return m_detail; }
    // The user-facing text; none for a platform error without text.
    std::optional<QString> errorDescription() const;

    bool operator==(const HostBlockerError&) const = default;

private:
    HostBlockerError(Kind kind, QString detail, QString hostsPath)
        : m_kind(kind), m_detail(std::move(detail)), m_hostsPath(std::move(hostsPath)) {}
    Kind m_kind;
    QString m_detail;
    QString m_hostsPath;
};
