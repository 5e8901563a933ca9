#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// What probing a device's superblock found. Every field is absent when the device carries no
// recognisable file system.
struct FilesystemIdentity {
    std::optional<QString> type;
    std::optional<QString> version;
    std::optional<QString> label;
    std::optional<QString> uuid;

    bool operator==(const FilesystemIdentity&) const = default;
};

// Reads the file-system identity of one device node. Devices that cannot be read (no permission,
// no medium) give an empty identity rather than an error: the caller still knows the topology.
// Several devices may be probed at once from different threads.
class FilesystemProbing {
public:
    virtual ~FilesystemProbing() = default;
    virtual FilesystemIdentity probe(const QString& devicePath) = 0;
};

} // namespace tarnwell
