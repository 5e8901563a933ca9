#pragma once

#include "diskutil/CommandRunning.h"

namespace tarnwell {

// Starts a program found on PATH with exactly the given arguments, never through a shell, in the
// C locale with UTF-8 text, so its messages can be recognised and names outside ASCII come through
// unchanged.
class ProcessCommandRunner : public CommandRunning {
public:
    explicit ProcessCommandRunner(int timeoutMilliseconds = 30000);

    CommandResult run(const std::string& program, const std::vector<std::string>& arguments) override;

private:
    int m_timeoutMilliseconds;
};

} // namespace tarnwell
