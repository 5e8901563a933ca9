#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwell {

struct CommandResult {
    int exitCode = 0;
    QByteArray output;
    QByteArray error;

    bool operator==(const CommandResult&) const = default;
};

// Runs the system programs the disk tool relies on (lsblk, mount, umount, udisksctl) and waits
// for them.
class CommandRunning {
public:
    virtual ~CommandRunning() = default;
    // A program that cannot be started, crashes or hangs throws PlatformError.
    virtual CommandResult run(const QString& program, const QStringList& arguments) = 0;
};

} // namespace tarnwell
