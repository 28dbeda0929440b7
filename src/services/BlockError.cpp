#include "services/BlockError.h"

std::optional<QString> BlockError::errorDescription() const {
    if (const auto* own = hostBlockerError())
        return own->errorDescription();
    const auto& platform = std::get<PlatformError>(m_error);
    if (platform.message.isEmpty())
        return std::nullopt;
    return platform.message;
}
