#pragma once

#include <optional>
#include <string>

namespace tarnwell {

// What the udev database or a probe of the device knows about its contents. Every field is
// absent when nothing was recognised.
struct FilesystemIdentity {
    std::optional<std::string> type;
    std::optional<std::string> version;
    std::optional<std::string> label;
    std::optional<std::string> uuid;
    std::optional<std::string> partitionType;      // of a partition, in its disk's table
    std::optional<std::string> partitionTableType; // of a disk that carries one

    bool operator==(const FilesystemIdentity&) const = default;
};

// Reads the identity of one device node; a partition's type is looked up in its disk's table.
// Devices that cannot be read (no permission, no medium) give an empty identity rather than an
// error: the caller still knows the topology.
class FilesystemProbing {
public:
    virtual ~FilesystemProbing() = default;
    virtual FilesystemIdentity probe(const std::string& devicePath, bool isPartition) = 0;
};

} // namespace tarnwell
