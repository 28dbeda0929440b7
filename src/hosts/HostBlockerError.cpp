#include "hosts/HostBlockerError.h"

HostBlockerError HostBlockerError::commandFailed(QString detail, QString hostsPath) {
    return HostBlockerError(Kind::CommandFailed, std::move(detail), std::move(hostsPath));
}

HostBlockerError HostBlockerError::notAuthorized(QString hostsPath) {
    return HostBlockerError(Kind::NotAuthorized, QString(), std::move(hostsPath));
}

HostBlockerError HostBlockerError::unownedSection(QString detail, QString hostsPath) {
    return HostBlockerError(Kind::UnownedSection, std::move(detail), std::move(hostsPath));
}

HostBlockerError HostBlockerError::platform(QString text) {
    return HostBlockerError(Kind::Platform, std::move(text), QString());
}

// The file is named as the blocker was given it: /etc/hosts outside tests.
std::optional<QString> HostBlockerError::errorDescription() const {
    switch (m_kind) {
    case Kind::CommandFailed:
        return QStringLiteral("Failed to write %1: ").arg(m_hostsPath) + m_detail;
    case Kind::NotAuthorized:
        return QStringLiteral("Website blocking requires administrator permission to write %1.")
            .arg(m_hostsPath);
    case Kind::UnownedSection:
        return QStringLiteral("An old website block with no owner is in %1, so Tarnhollow cannot "
                              "block websites; an administrator can remove it.")
            .arg(m_hostsPath);
    case Kind::Platform:
        break;
    }
    if (m_detail.isEmpty())
        return std::nullopt;
    return m_detail;
}
