#pragma once

#include <string>

namespace tarnwell {

// Mounting and unmounting by the system calls themselves, where the mount and umount programs
// would make just the same call. Starting them costs more than the call; whatever needs more than
// the call (a helper program for the type, wording an error, a read-only retry) is declined and
// left to the programs.
class DirectMounting {
public:
    enum class Outcome { Done, Busy, Declined };

    virtual ~DirectMounting() = default;
    // With set-user-ID programs and device nodes ignored, as the mount program is told. Done or
    // Declined.
    virtual Outcome mount(const std::string& device, const std::string& directory,
                          const std::string& type) = 0;
    // Plainly: never forced, never detached, never through a link.
    virtual Outcome unmount(const std::string& directory, const std::string& type) = 0;
};

} // namespace tarnwell
