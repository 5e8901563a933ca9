#pragma once

#include "diskutil/CommandRunning.h"

namespace tarnwell {

// Whether mounting can go through UDisks2: its command-line client is installed and the service
// answers a ping on the system bus within the time limit. The ping goes through dbus-send rather
// than a D-Bus library, so the reading commands do not pay for loading one.
class UDisksService {
public:
    static bool answers(CommandRunning& commands, int timeoutMilliseconds = 2000);
};

} // namespace tarnwell
