#pragma once

#include <string>
#include <vector>

namespace tarnwell {

struct CommandResult {
    int exitCode = 0;
    std::string output;
    std::string error;

    bool operator==(const CommandResult&) const = default;
};

// Runs the system programs the disk tool falls back on (mount, umount) and waits for them.
class CommandRunning {
public:
    virtual ~CommandRunning() = default;
    // A program that cannot be started, crashes or hangs throws ToolError.
    virtual CommandResult run(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

} // namespace tarnwell
