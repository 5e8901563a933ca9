#pragma once

#include "diskutil/CommandRunning.h"

namespace tarnwell {

// Runs a program in the C locale with UTF-8 text, so its messages can be recognised and names
// outside ASCII come through unchanged.
class ProcessCommandRunner : public CommandRunning {
public:
    explicit ProcessCommandRunner(int timeoutMilliseconds = 30000);

    CommandResult run(const QString& program, const QStringList& arguments) override;

private:
    int m_timeoutMilliseconds;
};

} // namespace tarnwell
