#pragma once

#include <stdexcept>
#include <string>

namespace tarnwell {

// A failure of the tool's own work (a system folder that cannot be read, a program that cannot be
// started), carrying the message the tool prints for it.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message)
        : std::runtime_error(message) {}
};

} // namespace tarnwell
