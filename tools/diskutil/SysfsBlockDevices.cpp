#include "diskutil/SysfsBlockDevices.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"
#include "diskutil/UdevRecord.h"
#include "diskutil/Utf8Text.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <map>
#include <memory>
#include <set>

namespace tarnwell {

namespace {

constexpr const char* ramDiskMajor = "1";
constexpr std::int64_t sectorSize = 512;

// Each system call is counted here: the tool runs for every status query, and a sandboxed system
// can make each call cost a tenth of a millisecond. So every device costs a handful of reads.

std::vector<std::string> entries(const std::string& directory, bool* opened = nullptr) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(directory.c_str()), ::closedir);
    if (opened != nullptr) {
        *opened = folder != nullptr;
    }
    if (!folder) {
        return names;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::int64_t number(std::string_view text) {
    std::int64_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9' || value > (INT64_MAX - 9) / 10) {
            return 0;
        }
        value = value * 10 + (digit - '0');
    }
    return value;
}

// The device folder a link of ROOT/FOLDER names. The links are relative ("../devices/..."), so
// one readlink stands in for resolving every component of the path.
std::string deviceDirectory(const std::string& sysRoot, const std::string& folder, const std::string& name) {
    std::string base = sysRoot + "/" + folder;
    const std::string link = FileText::link(base + "/" + name);
    if (link.empty()) {
        return base + "/" + name;
    }
    if (link.front() == '/') {
        return link;
    }
    std::string_view rest = link;
    while (rest.starts_with("../") && base.size() > 1) {
        base.erase(base.rfind('/'));
        rest.remove_prefix(3);
    }
    return base + "/" + std::string(rest);
}

// Devices that never sit on other block devices; only the others have members worth listing.
bool isLeafName(const std::string& name) {
    for (const char* prefix : {"loop", "sd", "sr", "nvme", "mmcblk", "vd", "xvd", "hd", "zram", "nbd"}) {
        if (name.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

struct Uevent {
    std::string majorMinor;
    std::int64_t partitionNumber = 0;
};

Uevent readUevent(const std::string& directory) {
    const std::string text = FileText::attribute(directory + "/uevent");
    std::string major;
    std::string minor;
    Uevent uevent;
    for (const auto& [key, value] : UdevRecord::properties(text, "")) {
        if (key == "MAJOR") {
            major = value;
        } else if (key == "MINOR") {
            minor = value;
        } else if (key == "PARTN") {
            uevent.partitionNumber = number(value);
        }
    }
    uevent.majorMinor = major.empty() && minor.empty() ? std::string() : Utf8Text::valid(major + ":" + minor);
    return uevent;
}

std::string typeOf(const std::string& directory, const std::string& name) {
    if (name.starts_with("loop")) {
        return "loop";
    }
    if (name.starts_with("dm-")) {
        const std::string uuid = FileText::attribute(directory + "/dm/uuid");
        for (const auto& [prefix, type] :
             {std::pair{"CRYPT-", "crypt"}, std::pair{"LVM-", "lvm"}, std::pair{"mpath-", "mpath"}}) {
            if (uuid.starts_with(prefix)) {
                return type;
            }
        }
        return "dm";
    }
    if (name.starts_with("md")) {
        const std::string level = FileText::attribute(directory + "/md/level");
        return level.empty() ? "md" : Utf8Text::valid(level);
    }
    // SCSI peripheral type 5 is an optical drive.
    const bool scsi = name.starts_with("sd") || name.starts_with("sr");
    return scsi && FileText::attribute(directory + "/device/type") == "5" ? "rom" : "disk";
}

// Whether a device above the disk (a USB port, a hot-plug slot) says it can be taken away.
bool isHotplug(const std::string& directory, bool removable, const std::string& sysRoot) {
    if (removable) {
        return true;
    }
    const std::string devices = sysRoot + "/devices";
    if (!directory.starts_with(devices + "/") || directory.starts_with(devices + "/virtual/")) {
        return false;
    }
    std::string chain = directory.substr(0, directory.rfind('/'));
    while (chain.size() > devices.size()) {
        const std::string value = FileText::attribute(chain + "/removable");
        if (value == "removable") {
            return true;
        }
        if (value == "fixed") {
            return false;
        }
        chain.erase(chain.rfind('/'));
    }
    return false;
}

struct Disk {
    std::string name;
    std::string directory;
    Uevent uevent;
};

class TreeBuilder {
public:
    TreeBuilder(std::string sysRoot, std::string udevDataRoot)
        : m_sysRoot(std::move(sysRoot))
        , m_udevDataRoot(std::move(udevDataRoot))
        , m_hasUdevData(FileText::exists(m_udevDataRoot)) {}

    std::map<std::string, std::vector<std::pair<std::int64_t, std::string>>> partitions;
    std::map<std::string, std::vector<std::string>> stackedOn; // member name -> devices built on it
    std::map<std::string, Disk> disks;

    void add(const std::string& directory, const std::string& name, const Uevent& uevent,
             const std::string& parent, bool isPartition) {
        if (std::any_of(m_devices.begin(), m_devices.end(),
                        [&name](const BlockDevice& device) { return device.name == name; })) {
            return;
        }
        BlockDevice device;
        device.name = Utf8Text::valid(name);
        device.majorMinor = uevent.majorMinor;
        device.type = isPartition ? "part" : typeOf(directory, name);
        // Kernel names write a "/" of the node's path as "!".
        std::string node = name;
        std::replace(node.begin(), node.end(), '!', '/');
        const std::string mapperName =
            name.starts_with("dm-") ? FileText::attribute(directory + "/dm/name") : std::string();
        device.path = Utf8Text::valid(mapperName.empty() ? "/dev/" + node : "/dev/mapper/" + mapperName);
        device.size = number(FileText::attribute(directory + "/size")) * sectorSize;
        if (!isPartition) {
            device.removable = FileText::attribute(directory + "/removable") == "1";
            device.hotplug = isHotplug(directory, device.removable, m_sysRoot);
            device.transport = SysfsBlockDevices::transport(directory, name);
        }
        if (m_hasUdevData && !device.majorMinor.empty()) {
            if (const auto record = FileText::read(m_udevDataRoot + "/b" + device.majorMinor)) {
                const FilesystemIdentity identity = UdevRecord::parse(*record);
                device.fileSystemType = identity.type;
                device.fileSystemVersion = identity.version;
                device.label = identity.label;
                device.uuid = identity.uuid;
                device.partitionType = identity.partitionType.value_or(std::string());
                device.partitionTableType =
                    isPartition ? std::string() : identity.partitionTableType.value_or(std::string());
            }
        }
        device.parent = Utf8Text::valid(parent);
        for (BlockDevice& candidate : m_devices) {
            if (!parent.empty() && candidate.name == device.parent) {
                candidate.children.push_back(device.name);
            }
        }
        m_devices.push_back(std::move(device));

        auto& own = partitions[name];
        std::sort(own.begin(), own.end());
        for (const auto& [index, partition] : own) {
            const std::string partitionDirectory = directory + "/" + partition;
            add(partitionDirectory, partition, readUevent(partitionDirectory), name, true);
        }
        for (const std::string& stacked : stackedOn[name]) {
            if (const auto found = disks.find(stacked); found != disks.end()) {
                add(found->second.directory, stacked, found->second.uevent, name, false);
            }
        }
    }

    std::vector<BlockDevice> take() { return std::move(m_devices); }

private:
    std::string m_sysRoot;
    std::string m_udevDataRoot;
    bool m_hasUdevData;
    std::vector<BlockDevice> m_devices;
};

// "8:17" as the pair (8, 17), for ordering.
std::pair<std::int64_t, std::int64_t> deviceNumber(const std::string& majorMinor) {
    const size_t colon = majorMinor.find(':');
    return colon == std::string::npos ? std::pair<std::int64_t, std::int64_t>{0, 0}
                                      : std::pair{number(std::string_view(majorMinor).substr(0, colon)),
                                                  number(std::string_view(majorMinor).substr(colon + 1))};
}

} // namespace

std::vector<BlockDevice> SysfsBlockDevices::read(const std::string& sysRoot,
                                                 const std::string& udevDataRoot) {
    const std::string blockRoot = sysRoot + "/block";
    bool opened = false;
    const std::vector<std::string> names = entries(blockRoot, &opened);
    if (!opened) {
        throw ToolError("Could not read " + blockRoot + ": " + FileText::systemError());
    }
    TreeBuilder builder(sysRoot, udevDataRoot);
    std::vector<std::pair<std::pair<std::int64_t, std::int64_t>, std::string>> topLevel;
    for (const std::string& name : names) {
        Disk disk{name, deviceDirectory(sysRoot, "block", name), {}};
        disk.uevent = readUevent(disk.directory);
        // A detached loop device and a RAM disk hold nothing.
        if ((name.starts_with("loop") && !FileText::exists(disk.directory + "/loop/backing_file")) ||
            disk.uevent.majorMinor.starts_with(std::string(ramDiskMajor) + ":")) {
            continue;
        }
        const std::vector<std::string> members =
            isLeafName(name) ? std::vector<std::string>() : entries(disk.directory + "/slaves");
        for (const std::string& member : members) {
            builder.stackedOn[member].push_back(name);
        }
        // A device built on others appears below them.
        if (members.empty()) {
            topLevel.emplace_back(deviceNumber(disk.uevent.majorMinor), name);
        }
        builder.disks.emplace(name, std::move(disk));
    }
    // Partitions are listed among all block devices; their link names the disk they belong to.
    const std::set<std::string> diskNames(names.begin(), names.end());
    for (const std::string& name : entries(sysRoot + "/class/block")) {
        if (diskNames.count(name) == 0) {
            const std::string directory = deviceDirectory(sysRoot, "class/block", name);
            const std::string parentDirectory = directory.substr(0, directory.rfind('/'));
            const std::string disk = parentDirectory.substr(parentDirectory.rfind('/') + 1);
            builder.partitions[disk].emplace_back(readUevent(directory).partitionNumber, name);
        }
    }
    std::sort(topLevel.begin(), topLevel.end());
    for (const auto& [number, name] : topLevel) {
        const Disk& disk = builder.disks.at(name);
        builder.add(disk.directory, name, disk.uevent, std::string(), false);
    }
    return builder.take();
}

std::string SysfsBlockDevices::transport(const std::string& directory, const std::string& name) {
    // SCSI disks (SATA, USB, SAS, ...) sit below the host adapter that reaches them.
    size_t hostAt = directory.find("/host");
    while (hostAt != std::string::npos &&
           (hostAt + 5 >= directory.size() || directory[hostAt + 5] < '0' || directory[hostAt + 5] > '9')) {
        hostAt = directory.find("/host", hostAt + 1);
    }
    if (hostAt != std::string::npos) {
        const size_t end = directory.find('/', hostAt + 1);
        const std::string hostName =
            directory.substr(hostAt + 1, end == std::string::npos ? end : end - hostAt - 1);
        const std::string host = directory.substr(0, end);
        for (const auto& [transportClass, word] :
             {std::pair{"spi_host", "spi"}, std::pair{"fc_host", "fc"}, std::pair{"sas_host", "sas"}}) {
            if (FileText::exists(host + "/" + transportClass)) {
                return word;
            }
        }
        if (FileText::exists(directory + "/device/ieee1394_id")) {
            return "ieee1394";
        }
        if (FileText::exists(host + "/iscsi_host")) {
            return "iscsi";
        }
        if (directory.find("/usb") != std::string::npos) {
            return "usb";
        }
        const std::string driver = FileText::attribute(host + "/scsi_host/" + hostName + "/proc_name");
        if (driver.starts_with("ahci") || driver.starts_with("sata")) {
            return "sata";
        }
        if (driver.find("ata") != std::string::npos) {
            return "ata";
        }
        return std::string();
    }
    for (const auto& [prefix, word] :
         {std::pair{"nvme", "nvme"}, std::pair{"vd", "virtio"}, std::pair{"mmcblk", "mmc"}}) {
        if (name.starts_with(prefix)) {
            return word;
        }
    }
    return std::string();
}

} // namespace tarnwell
