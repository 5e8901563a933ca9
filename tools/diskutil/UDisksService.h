#pragma once

namespace tarnwell {

// Whether mounting can go through UDisks2: the service answers on the system bus within the time
// limit and its command-line client is installed.
class UDisksService {
public:
    static bool answers(int timeoutMilliseconds = 2000);
};

} // namespace tarnwell
