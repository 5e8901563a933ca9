#pragma once

#include <string>

namespace tarnwell {

// Chooses and creates the directory a volume is mounted on when the tool mounts it itself.
class MountPointNaming {
public:
    // The label as one path component: "/" and control characters become "_",
    // and names that mean a directory already ("", ".", "..") are replaced.
    static std::string directoryName(const std::string& label);
    // Creates root/NAME, or root/NAME1, root/NAME2, ... when the path exists, and returns it. The
    // directory is created in one step, so two mounts never share it. Throws ToolError when
    // no directory can be made, and when the root is a link or a folder that someone other than
    // this user could change: a mount made there could be moved anywhere.
    static std::string createDirectory(const std::string& root, const std::string& label);
};

} // namespace tarnwell
