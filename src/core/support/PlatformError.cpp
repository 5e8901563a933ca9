#include "core/support/PlatformError.h"

namespace tarnwell {

PlatformError::PlatformError(QString message)
    : std::runtime_error(message.toStdString())
    , m_message(std::move(message)) {
}

} // namespace tarnwell
