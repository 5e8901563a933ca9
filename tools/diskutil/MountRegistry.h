#pragma once

#include <string>

namespace tarnwell {

// Remembers the mount directories this tool created, so that an unmount removes those and never a
// directory someone else made. One path per line; the file lives on a tmpfs that a reboot clears,
// together with the mounts it describes.
class MountRegistry {
public:
    static constexpr const char* defaultPath = "/run/tarnwell-diskutil/created-mount-points";

    explicit MountRegistry(std::string path = defaultPath);

    // Throws ToolError when the record cannot be written.
    void add(const std::string& directory);
    // Forgets the directory and says whether it was recorded.
    bool take(const std::string& directory);

private:
    std::string m_path;
};

} // namespace tarnwell
