#pragma once

#include "diskutil/CommandRunning.h"

namespace tarnwell {

// Starts a program with exactly the given arguments, never through a shell, in the C locale with
// UTF-8 text, so its messages can be recognised and names outside ASCII come through unchanged.
class ProcessCommandRunner : public CommandRunning {
public:
    enum class Trust {
        // The program is looked for on PATH and gets this process's environment.
        Environment,
        // Only the system's own programs, from the system's folders, with nothing of this
        // process's environment: what root starts must not be led by whoever started root
        // (LD_PRELOAD, LD_LIBRARY_PATH, a PATH with a program of the same name).
        SystemOnly,
    };

    explicit ProcessCommandRunner(Trust trust = Trust::Environment, int timeoutMilliseconds = 30000);

    CommandResult run(const std::string& program, const std::vector<std::string>& arguments) override;

private:
    Trust m_trust;
    int m_timeoutMilliseconds;
};

} // namespace tarnwell
