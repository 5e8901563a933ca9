#pragma once

#include "diskutil/BlockDeviceTable.h"
#include "diskutil/CommandRunning.h"
#include "diskutil/DirectMounting.h"
#include "diskutil/FilesystemIdentity.h"
#include "diskutil/MountHolders.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/UDisksMounting.h"

#include <functional>

namespace tarnwell {

// What the tool needs from the machine; main() passes the real ones, tests their own.
struct DiskToolServices {
    CommandRunning* commands = nullptr;
    // Tried before the mount and umount programs; without it, they do all the work.
    DirectMounting* direct = nullptr;
    FilesystemProbing* probe = nullptr;
    // Tried first; when UDisks2 does not answer, root mounts by itself.
    UDisksMounting* udisks = nullptr;
    bool isRoot = false;
    std::string mediaRoot = "/media";
    MountRegistry registry;
    std::string sysRoot = "/sys";
    std::string udevDataRoot = "/run/udev/data";
    std::string mountInfoPath = MountInfo::defaultPath;
    std::function<std::vector<MountHolder>(dev_t)> findHolders = [](dev_t device) {
        return MountHolders::find(device);
    };
    std::function<bool(const MountInfo::Mount&)> isOnTop = MountInfo::isOnTop;
};

// The disk tool's commands: reads the arguments, does the work and returns the exit code with the
// texts for standard output and standard error.
class DiskTool {
public:
    explicit DiskTool(DiskToolServices services);

    // Arguments as the system passed them; bytes that are no UTF-8 become U+FFFD.
    CommandResult run(const std::vector<std::string>& arguments);

private:
    CommandResult info(const std::string& target);
    CommandResult externalPhysicalList();
    CommandResult mount(const std::string& target);
    CommandResult unmount(const std::string& target);

    BlockDeviceTable loadTable();
    // The device TARGET names with its file-system identity filled in, or nothing.
    std::optional<BlockDevice> resolve(BlockDeviceTable& table, const std::string& target);
    // Names the processes that hold the mounts at the given paths.
    CommandResult busyFailure(const std::string& volume, const std::vector<std::string>& paths);

    DiskToolServices m_services;
};

} // namespace tarnwell
