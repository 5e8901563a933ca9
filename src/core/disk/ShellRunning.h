#pragma once

#include "core/disk/ShellResult.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>
#include <stop_token>

namespace tarnwell {

// Runs one external command and hands back both of its output streams and its exit code.
class ShellRunning {
public:
    virtual ~ShellRunning() = default;

    // Starts the executable at the absolute path `command` with `arguments` as its argument vector,
    // with no shell in between. A stop requested through `stopToken` ends the command and throws a
    // CancellationError once the process is gone.
    virtual QCoro::Task<ShellResult> run(QString command, QStringList arguments,
                                         std::stop_token stopToken = {}) = 0;
};

} // namespace tarnwell
