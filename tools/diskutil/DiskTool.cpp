#include "diskutil/DiskTool.h"

#include "diskutil/DiskDocuments.h"
#include "diskutil/FileText.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/PlistWriter.h"
#include "diskutil/SysfsBlockDevices.h"
#include "diskutil/ToolError.h"
#include "diskutil/Utf8Text.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

const char* const usage = "Usage: tarnwell-diskutil info -plist TARGET\n"
                          "       tarnwell-diskutil list -plist external physical\n"
                          "       tarnwell-diskutil apfs list [CONTAINER] -plist\n"
                          "       tarnwell-diskutil mount TARGET\n"
                          "       tarnwell-diskutil unmount TARGET\n";

CommandResult success(const std::string& message) {
    return {0, message + '\n', {}};
}

CommandResult failure(const std::string& message) {
    return {1, {}, message + '\n'};
}

// "Volume NAME on DEVICE", or "Volume on DEVICE" when there is no file system to name.
std::string volumeText(const BlockDevice& device) {
    const std::string name = DiskDocuments::volumeName(device);
    return name.empty() ? "Volume on " + device.name : "Volume " + name + " on " + device.name;
}

// The first line a failed program wrote, without its own name in front.
std::string reason(const CommandResult& result) {
    std::string text = Utf8Text::trimmed(Utf8Text::valid(result.error));
    if (text.empty()) {
        text = Utf8Text::trimmed(Utf8Text::valid(result.output));
    }
    text = text.substr(0, text.find('\n'));
    return text.empty() ? "exit code " + std::to_string(result.exitCode) : text;
}

bool isBusy(const CommandResult& result) {
    return result.error.find("busy") != std::string::npos || result.output.find("busy") != std::string::npos;
}

} // namespace

DiskTool::DiskTool(DiskToolServices services)
    : m_services(std::move(services)) {
}

CommandResult DiskTool::run(const std::vector<std::string>& rawArguments) {
    std::vector<std::string> arguments;
    std::transform(rawArguments.begin(), rawArguments.end(), std::back_inserter(arguments), Utf8Text::valid);
    try {
        const std::string command = arguments.empty() ? std::string() : arguments[0];
        if (command == "info" && arguments.size() == 3 && arguments[1] == "-plist") {
            return info(arguments[2]);
        }
        if (command == "list" &&
            arguments == std::vector<std::string>{"list", "-plist", "external", "physical"}) {
            return externalPhysicalList();
        }
        if (command == "apfs" && arguments.size() >= 3 && arguments.size() <= 4 && arguments[1] == "list" &&
            std::find(arguments.begin() + 2, arguments.end(), "-plist") != arguments.end()) {
            return {0, PlistWriter::write(DiskDocuments::emptyApfsList()), {}};
        }
        if (command == "mount" && arguments.size() == 2) {
            return mount(arguments[1]);
        }
        if (command == "unmount" && arguments.size() == 2) {
            return unmount(arguments[1]);
        }
        return {1, {}, usage};
    } catch (const ToolError& error) {
        return failure(error.what());
    }
}

BlockDeviceTable DiskTool::loadTable() {
    BlockDeviceTable table(SysfsBlockDevices::read(m_services.sysRoot, m_services.udevDataRoot));
    table.useMounts(MountInfo::parse(FileText::read(m_services.mountInfoPath).value_or(std::string())));
    return table;
}

std::optional<BlockDevice> DiskTool::resolve(BlockDeviceTable& table, const std::string& target) {
    const BlockDevice* found = nullptr;
    if (BlockDeviceTable::looksLikePath(target)) {
        found = table.resolvePathTarget(target);
    } else {
        found = table.resolveDeviceTarget(target);
    }
    if (found == nullptr && BlockDeviceTable::looksLikePath(target)) {
        found = table.resolveUuidTarget(target);
    } else if (found == nullptr) {
        // The udev database may not know every device: then the superblocks themselves are read.
        found = table.probeForUuid(target, *m_services.probe);
    }
    if (found == nullptr) {
        return std::nullopt;
    }
    const std::string name = found->name;
    table.probeMissingIdentity(name, *m_services.probe);
    return *table.device(name);
}

CommandResult DiskTool::info(const std::string& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure("Could not find disk: " + target);
    }
    return {0, PlistWriter::write(DiskDocuments::info(table, *device)), {}};
}

CommandResult DiskTool::externalPhysicalList() {
    BlockDeviceTable table = loadTable();
    table.probeExternalPhysicalIdentities(*m_services.probe);
    return {0, PlistWriter::write(DiskDocuments::externalPhysicalList(table)), {}};
}

CommandResult DiskTool::mount(const std::string& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure("Could not find disk: " + target);
    }
    const std::string volume = volumeText(*device);
    if (const auto mountPoint = device->mountPoint()) {
        return success(volume + " is already mounted at " + *mountPoint);
    }
    if (!device->fileSystemType) {
        return failure(volume + " failed to mount: no file system was found on it");
    }
    using Outcome = UDisksMounting::Answer::Outcome;
    const auto answer = m_services.udisks ? m_services.udisks->mount(device->path) : UDisksMounting::Answer{};
    if (answer.outcome == Outcome::Failed) {
        return failure(volume + " failed to mount: " + answer.reason("mount"));
    }
    if (answer.outcome == Outcome::Done) {
        return success(volume + " mounted");
    }
    if (!m_services.isRoot) {
        return failure(volume + " failed to mount: mounting needs the UDisks2 service or root privileges");
    }
    const std::string directory =
        MountPointNaming::createDirectory(m_services.mediaRoot, DiskDocuments::volumeName(*device));
    // Recorded before the mount, so that no folder of ours is ever mounted on unrecorded.
    CommandResult mounted = success(volume + " mounted");
    try {
        m_services.registry.add(directory);
    } catch (const ToolError& error) {
        // The volume is mounted all the same; only the directory will outlive its unmount.
        mounted.error = std::string(error.what()) + '\n';
    }
    // Devices that users plug in must not bring set-user-ID programs or device nodes with them.
    if (!m_services.direct || m_services.direct->mount(device->path, directory, *device->fileSystemType) !=
                                  DirectMounting::Outcome::Done) {
        const CommandResult result =
            m_services.commands->run("mount", {"-o", "nosuid,nodev", "--", device->path, directory});
        if (result.exitCode != 0) {
            // Its line goes with the record's next change, once the folder is seen to be gone.
            ::rmdir(directory.c_str());
            return failure(volume + " failed to mount: " + reason(result));
        }
    }
    return mounted;
}

CommandResult DiskTool::unmount(const std::string& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure("Could not find disk: " + target);
    }
    const std::string volume = volumeText(*device);
    std::vector<MountInfo::Mount> mounts = table.mountsOf(*device);
    if (mounts.empty()) {
        return failure(volume + " failed to unmount: not mounted");
    }
    // A mount path names one mount of the device; any other target names all of them.
    if (BlockDeviceTable::looksLikePath(target)) {
        const std::string canonical = FileText::canonicalPath(target);
        const auto named =
            std::find_if(mounts.begin(), mounts.end(),
                         [&canonical](const MountInfo::Mount& mount) { return mount.path == canonical; });
        if (named != mounts.end()) {
            mounts = {*named};
        }
    }
    // An unmount by path takes off whatever was mounted there last: a file system mounted over the
    // volume would go in its place, and the volume would stay mounted while the user is told it is
    // not.
    std::vector<std::string> paths;
    for (const MountInfo::Mount& mount : mounts) {
        if (!m_services.isOnTop(mount)) {
            return failure(volume + " is covered by another mount at " + mount.mountPoint);
        }
        paths.push_back(mount.path);
    }
    using Outcome = UDisksMounting::Answer::Outcome;
    const auto answer =
        m_services.udisks ? m_services.udisks->unmount(device->path) : UDisksMounting::Answer{};
    if (answer.outcome == Outcome::Failed) {
        return answer.isBusy() ? busyFailure(volume, paths)
                               : failure(volume + " failed to unmount: " + answer.reason("unmount"));
    }
    const bool byRoot = answer.outcome == Outcome::Unavailable;
    if (byRoot && !m_services.isRoot) {
        return failure(volume +
                       " failed to unmount: unmounting needs the UDisks2 service or root privileges");
    }
    for (const std::string& path : byRoot ? paths : std::vector<std::string>()) {
        if (m_services.direct) {
            const auto outcome = m_services.direct->unmount(path, device->fileSystemType.value_or(""));
            if (outcome == DirectMounting::Outcome::Busy) {
                return busyFailure(volume, {path});
            }
            if (outcome == DirectMounting::Outcome::Done) {
                continue;
            }
        }
        // The path is the kernel's own, with no link in it to resolve.
        const CommandResult result = m_services.commands->run("umount", {"--no-canonicalize", "--", path});
        if (result.exitCode != 0) {
            return isBusy(result) ? busyFailure(volume, {path})
                                  : failure(volume + " failed to unmount: " + reason(result));
        }
    }
    std::string warnings;
    // Only root mounts in folders of its own making, and only root may read their record: an
    // ordinary user's unmount through UDisks2 is complete here.
    for (const std::string& path : m_services.isRoot ? paths : std::vector<std::string>()) {
        try {
            m_services.registry.release(path);
        } catch (const ToolError& error) {
            warnings += std::string(error.what()) + '\n';
        }
    }
    return {0, volume + " unmounted\n", warnings};
}

CommandResult DiskTool::busyFailure(const std::string& volume, const std::vector<std::string>& paths) {
    std::string message = volume + " failed to unmount: target is busy";
    std::vector<std::int64_t> reported;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) {
            continue;
        }
        for (const MountHolder& holder : m_services.findHolders(status.st_dev)) {
            if (std::find(reported.begin(), reported.end(), holder.pid) == reported.end()) {
                reported.push_back(holder.pid);
                message += "\ndissented by PID " + std::to_string(holder.pid) + " (" + holder.command + ")";
            }
        }
    }
    return failure(message);
}

} // namespace tarnwell
