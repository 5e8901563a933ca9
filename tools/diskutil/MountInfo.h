#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwell {

// The kernel's table of mounted file systems, /proc/self/mountinfo.
class MountInfo {
public:
    struct Mount {
        std::string majorMinor; // "7:3", the number the kernel gives the mounted file system
        std::string source;     // "/dev/loop3", as the mount was asked for
        std::string mountPoint;

        bool operator==(const Mount&) const = default;
    };

    static constexpr const char* defaultPath = "/proc/self/mountinfo";

    // Mounts in file order; the kernel's octal escapes (\040 for a space, \012 for a line feed) are
    // decoded, text that is no UTF-8 is made valid, and malformed lines are skipped.
    static std::vector<Mount> parse(std::string_view text);
};

} // namespace tarnwell
