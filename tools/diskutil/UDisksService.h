#pragma once

#include "diskutil/CommandRunning.h"

#include <optional>

namespace tarnwell {

// What the disk tool needs to know about UDisks2, which mounts and unmounts for ordinary users.
class UDisksService {
public:
    // Whether mounting can go through UDisks2: its command-line client is installed and the service
    // answers a ping on the system bus within the time limit.
    static bool answers(int timeoutMilliseconds = 2000);

    // The service's own answer to a failed `udisksctl OPERATION`, in the user's terms, or nothing
    // when the client never got one. The client may put lines of its own before that answer, such
    // as its failure to start an authentication agent without a terminal.
    static std::optional<std::string> failureReason(const CommandResult& result,
                                                    const std::string& operation);
};

} // namespace tarnwell
