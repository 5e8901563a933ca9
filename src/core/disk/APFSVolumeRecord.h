#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// One user volume of an APFS container, as the container listing names it.
struct APFSVolumeRecord {
    QString deviceIdentifier;
    QString volumeName;
    QString volumeUUID;
    // The device node of the container that holds the volume.
    std::optional<QString> containerIdentifier;

    bool operator==(const APFSVolumeRecord&) const = default;
};

} // namespace tarnwell
