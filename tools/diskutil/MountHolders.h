#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwell {

struct MountHolder {
    std::int64_t pid = 0;
    std::string command; // without control characters

    bool operator==(const MountHolder&) const = default;
};

// Finds the processes that keep a file system busy: a working directory, root directory, open
// file or mapped file on it. Processes this user may not inspect are passed over.
class MountHolders {
public:
    // device is the file system's device number as stat() reports it for paths on it.
    static std::vector<MountHolder> find(dev_t device, const std::string& procRoot = "/proc");
};

} // namespace tarnwell
