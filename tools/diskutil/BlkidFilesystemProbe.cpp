#include "diskutil/BlkidFilesystemProbe.h"

#include "diskutil/Utf8Text.h"

#include <blkid.h>
#include <memory>

namespace tarnwell {

namespace {

struct ProbeDeleter {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};

std::optional<std::string> lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || value == nullptr) {
        return std::nullopt;
    }
    // The reported length includes the terminating zero.
    const std::string text = Utf8Text::valid(std::string_view(value, length > 0 ? length - 1 : 0));
    return text.empty() ? std::nullopt : std::optional(text);
}

} // namespace

FilesystemIdentity BlkidFilesystemProbe::probe(const std::string& devicePath, bool isPartition) {
    std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter> probe(
        blkid_new_probe_from_filename(devicePath.c_str()));
    if (!probe) {
        return {};
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID |
                                                       BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    // A partition's entry in its disk's table names its content.
    blkid_probe_enable_partitions(probe.get(), isPartition ? 1 : 0);
    blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_ENTRY_DETAILS);
    const bool found = blkid_do_safeprobe(probe.get()) == 0;
    if (!found && !isPartition) {
        // A disk without a file system may carry a partition table; looking for one only then
        // spares every other disk the work.
        blkid_probe_enable_superblocks(probe.get(), 0);
        blkid_probe_enable_partitions(probe.get(), 1);
        blkid_probe_set_partitions_flags(probe.get(), 0);
        if (blkid_do_safeprobe(probe.get()) != 0) {
            return {};
        }
    } else if (!found) {
        return {};
    }
    FilesystemIdentity identity;
    identity.type = lookup(probe.get(), "TYPE");
    identity.version = lookup(probe.get(), "VERSION");
    identity.label = lookup(probe.get(), "LABEL");
    identity.uuid = lookup(probe.get(), "UUID");
    identity.partitionType = lookup(probe.get(), "PART_ENTRY_TYPE");
    identity.partitionTableType = lookup(probe.get(), "PTTYPE");
    return identity;
}

} // namespace tarnwell
