#pragma once

#include <QString>

namespace tarnwell {

// What one finished command wrote and how it ended. A non-zero exit code is an ordinary result; the
// caller decides what it means.
struct ShellResult {
    QString output;
    QString error;
    qint32 exitCode = 0;

    bool operator==(const ShellResult&) const = default;
};

} // namespace tarnwell
