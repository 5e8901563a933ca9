#include "diskutil/SysfsBlockDevices.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"
#include "diskutil/UdevRecord.h"
#include "diskutil/Utf8Text.h"

#include <algorithm>
#include <dirent.h>
#include <memory>

namespace tarnwell {

namespace {

constexpr int ramDiskMajor = 1;
constexpr std::int64_t sectorSize = 512;

std::vector<std::string> entries(const std::string& directory) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(directory.c_str()), ::closedir);
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

std::int64_t number(const std::string& text) {
    std::int64_t value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9' || value > (INT64_MAX - 9) / 10) {
            return 0;
        }
        value = value * 10 + (digit - '0');
    }
    return value;
}

// "8:17" as the pair (8, 17), for ordering; (0, 0) when it is no such pair.
std::pair<std::int64_t, std::int64_t> deviceNumber(const std::string& majorMinor) {
    const size_t colon = majorMinor.find(':');
    if (colon == std::string::npos) {
        return {0, 0};
    }
    return {number(majorMinor.substr(0, colon)), number(majorMinor.substr(colon + 1))};
}

std::string typeOf(const std::string& directory, const std::string& name, bool isPartition) {
    if (isPartition) {
        return "part";
    }
    if (FileText::exists(directory + "/loop") || name.starts_with("loop")) {
        return "loop";
    }
    if (FileText::exists(directory + "/dm")) {
        const std::string uuid = FileText::attribute(directory + "/dm/uuid");
        for (const auto& [prefix, type] :
             {std::pair{"CRYPT-", "crypt"}, std::pair{"LVM-", "lvm"}, std::pair{"mpath-", "mpath"}}) {
            if (uuid.starts_with(prefix)) {
                return type;
            }
        }
        return "dm";
    }
    if (FileText::exists(directory + "/md")) {
        const std::string level = FileText::attribute(directory + "/md/level");
        return level.empty() ? "md" : Utf8Text::valid(level);
    }
    // SCSI peripheral type 5 is an optical drive.
    return FileText::attribute(directory + "/device/type") == "5" ? "rom" : "disk";
}

// Whether a device above the disk (a USB port, a hot-plug slot) says it can be taken away.
bool isHotplug(const std::string& directory, const std::string& sysRoot) {
    if (FileText::attribute(directory + "/removable") == "1") {
        return true;
    }
    std::string chain = FileText::canonicalPath(directory);
    const std::string devices = FileText::canonicalPath(sysRoot) + "/devices";
    while (chain.size() > devices.size() && chain.starts_with(devices)) {
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

class TreeBuilder {
public:
    TreeBuilder(std::string sysRoot, std::string udevDataRoot)
        : m_sysRoot(std::move(sysRoot))
        , m_udevDataRoot(std::move(udevDataRoot)) {}

    void add(const std::string& directory, const std::string& name, const std::string& parent,
             bool isPartition) {
        if (std::any_of(m_devices.begin(), m_devices.end(),
                        [&name](const BlockDevice& device) { return device.name == name; })) {
            return;
        }
        BlockDevice device;
        device.name = Utf8Text::valid(name);
        device.majorMinor = Utf8Text::valid(FileText::attribute(directory + "/dev"));
        device.type = typeOf(directory, name, isPartition);
        // Kernel names write a "/" of the node's path as "!".
        std::string node = name;
        std::replace(node.begin(), node.end(), '!', '/');
        const std::string mapperName = FileText::attribute(directory + "/dm/name");
        device.path = Utf8Text::valid(mapperName.empty() ? "/dev/" + node : "/dev/mapper/" + mapperName);
        device.size = number(FileText::attribute(directory + "/size")) * sectorSize;
        if (!isPartition) {
            device.removable = FileText::attribute(directory + "/removable") == "1";
            device.hotplug = isHotplug(directory, m_sysRoot);
            device.transport = SysfsBlockDevices::transport(directory, name);
        }
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
        device.parent = Utf8Text::valid(parent);
        for (BlockDevice& candidate : m_devices) {
            if (!parent.empty() && candidate.name == device.parent) {
                candidate.children.push_back(device.name);
            }
        }
        m_devices.push_back(std::move(device));

        std::vector<std::pair<std::int64_t, std::string>> partitions;
        for (const std::string& entry : isPartition ? std::vector<std::string>() : entries(directory)) {
            // Partitions are named after their disk ("sda1", "nvme0n1p1"); the other entries are
            // attributes.
            if (!entry.starts_with(name)) {
                continue;
            }
            const std::string partition = FileText::attribute(directory + "/" + entry + "/partition");
            if (!partition.empty()) {
                partitions.emplace_back(number(partition), entry);
            }
        }
        std::sort(partitions.begin(), partitions.end());
        for (const auto& [index, partition] : partitions) {
            add(directory + "/" + partition, partition, name, true);
        }
        for (const std::string& holder : entries(directory + "/holders")) {
            add(m_sysRoot + "/block/" + holder, holder, name, false);
        }
    }

    std::vector<BlockDevice> take() { return std::move(m_devices); }

private:
    std::string m_sysRoot;
    std::string m_udevDataRoot;
    std::vector<BlockDevice> m_devices;
};

} // namespace

std::vector<BlockDevice> SysfsBlockDevices::read(const std::string& sysRoot,
                                                 const std::string& udevDataRoot) {
    const std::string blockRoot = sysRoot + "/block";
    if (!FileText::exists(blockRoot)) {
        throw ToolError("Could not read " + blockRoot + ": " + FileText::systemError());
    }
    std::vector<std::pair<std::pair<std::int64_t, std::int64_t>, std::string>> disks;
    for (const std::string& name : entries(blockRoot)) {
        const std::string directory = blockRoot + "/" + name;
        const auto number = deviceNumber(FileText::attribute(directory + "/dev"));
        const bool emptyLoop =
            name.starts_with("loop") && !FileText::exists(directory + "/loop/backing_file");
        // A device built on others appears below them.
        if (!emptyLoop && number.first != ramDiskMajor && entries(directory + "/slaves").empty()) {
            disks.emplace_back(number, name);
        }
    }
    std::sort(disks.begin(), disks.end());
    TreeBuilder builder(sysRoot, udevDataRoot);
    for (const auto& [number, name] : disks) {
        builder.add(blockRoot + "/" + name, name, std::string(), false);
    }
    return builder.take();
}

std::string SysfsBlockDevices::transport(const std::string& directory, const std::string& name) {
    const std::string path = FileText::canonicalPath(directory);
    // SCSI disks (SATA, USB, SAS, ...) sit below the host adapter that reaches them.
    size_t hostAt = path.find("/host");
    while (hostAt != std::string::npos &&
           (hostAt + 5 >= path.size() || path[hostAt + 5] < '0' || path[hostAt + 5] > '9')) {
        hostAt = path.find("/host", hostAt + 1);
    }
    if (hostAt != std::string::npos) {
        const size_t end = path.find('/', hostAt + 1);
        const std::string hostName =
            path.substr(hostAt + 1, end == std::string::npos ? end : end - hostAt - 1);
        const std::string host = path.substr(0, end);
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
        if (path.find("/usb") != std::string::npos) {
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
