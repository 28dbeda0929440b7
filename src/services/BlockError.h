#pragma once

#include "platform/PlatformError.h"
#include "services/HostBlockerError.h"

#include <optional>
#include <variant>

// What a website-blocking operation can fail with: our own error, or a
// platform error passed on unchanged.
class BlockError {
public:
    BlockError(HostBlockerError e) : m_error(std::move(e)) {}
    BlockError(PlatformError e) : m_error(std::move(e)) {}

    const HostBlockerError* hostBlockerError() const { return std::get_if<HostBlockerError>(&m_error); }
    const PlatformError* platformError() const { return std::get_if<PlatformError>(&m_error); }

    // The user-facing description, when the error offers one. A platform
    // error with no text offers none.
    std::optional<QString> errorDescription() const;

private:
    std::variant<HostBlockerError, PlatformError> m_error;
};
