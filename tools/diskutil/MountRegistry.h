#pragma once

#include <string>

namespace tarnwell {

// Remembers the mount directories this tool created, so that an unmount removes those and never a
// directory someone else made. Each line holds the identity the directory had when it was made
// (device, inode and change time) and its path; a line whose directory is gone, or is no longer
// the one that was made, is dropped. The file lives on a tmpfs that a reboot clears, together with
// the mounts it describes.
class MountRegistry {
public:
    static constexpr const char* defaultPath = "/run/tarnwell-diskutil/created-mount-points";

    explicit MountRegistry(std::string path = defaultPath);

    // Records the directory just made, before anything is mounted on it. Throws ToolError when the
    // directory cannot be inspected or the record cannot be written.
    void add(const std::string& directory);
    // Once nothing is mounted on the directory any more: removes it when this tool made it and it
    // is still the directory that was made, and forgets it once it is gone. Says whether it was
    // removed; throws ToolError when it cannot be removed (its line stays) or the record cannot be
    // written.
    bool release(const std::string& directory);

private:
    std::string m_path;
};

} // namespace tarnwell
