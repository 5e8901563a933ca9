#pragma once

#include "diskutil/DirectMounting.h"

#include <vector>

namespace tarnwell {

// mount(2) and umount2(2) for the types the kernel mounts without a helper program.
class SystemCallMounter : public DirectMounting {
public:
    // The folders the mount and umount programs look in for helpers such as mount.ntfs, and the
    // table in which they note what only they know about a mount.
    explicit SystemCallMounter(std::vector<std::string> helperFolders = {"/sbin", "/sbin/fs.d", "/sbin/fs"},
                               std::string userspaceTable = "/run/mount/utab");

    Outcome mount(const std::string& device, const std::string& directory, const std::string& type) override;
    Outcome unmount(const std::string& directory, const std::string& type) override;

private:
    bool needsPrograms(const std::string& type) const;

    std::vector<std::string> m_helperFolders;
    std::string m_userspaceTable;
};

} // namespace tarnwell
