#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwell {

// The kernel's table of mounted file systems, /proc/self/mountinfo.
class MountInfo {
public:
    struct Mount {
        std::uint64_t id = 0;   // the kernel's mount ID, as statx() reports it for paths on the mount
        std::string majorMinor; // "7:3", the number the kernel gives the mounted file system
        std::string source;     // "/dev/loop3", as the mount was asked for
        std::string mountPoint; // valid UTF-8, for documents and messages
        // The mount point's own bytes, for system calls and programs: two paths that differ only in
        // bytes that are no UTF-8 may read as the same text.
        std::string path;

        bool operator==(const Mount&) const = default;
    };

    static constexpr const char* defaultPath = "/proc/self/mountinfo";

    // Mounts in file order; the kernel's octal escapes (\040 for a space, \012 for a line feed) are
    // decoded, the text of each path is made valid UTF-8 beside its bytes, and malformed lines are skipped.
    static std::vector<Mount> parse(std::string_view text);

    // Whether a lookup of the mount's path reaches this very mount, and not one mounted over it.
    // Links are not followed.
    static bool isOnTop(const Mount& mount);
};

} // namespace tarnwell
