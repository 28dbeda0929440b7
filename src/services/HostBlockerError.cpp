#include "services/HostBlockerError.h"

HostBlockerError HostBlockerError::commandFailed(QString detail) {
    return HostBlockerError(Case::CommandFailed, std::move(detail));
}

HostBlockerError HostBlockerError::notAuthorized() {
    return HostBlockerError(Case::NotAuthorized, QString());
}

QString HostBlockerError::errorDescription() const {
    switch (m_case) {
    case Case::CommandFailed:
        return QStringLiteral("Failed to write /etc/hosts: ") + m_detail;
    case Case::NotAuthorized:
        return QStringLiteral(
            "Website blocking requires administrator permission to write /etc/hosts.");
    }
    return QString();
}
