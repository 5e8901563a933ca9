#pragma once

#include <stdexcept>

namespace tarnwell {

// Thrown by operations that honour a std::stop_token once a stop was requested.
class CancellationError : public std::runtime_error {
public:
    CancellationError()
        : std::runtime_error("The operation was cancelled.") {}
};

} // namespace tarnwell
