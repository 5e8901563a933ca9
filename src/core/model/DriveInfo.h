#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// One volume as the disk service reports it; identified by its volume UUID.
struct DriveInfo {
    QString volumeName;
    QString volumeUUID;
    std::optional<QString> diskIdentifier;
    std::optional<QString> fileSystem;
    // Absent when the volume is not mounted.
    std::optional<QString> mountPoint;
    std::optional<QString> busProtocol;
    bool isExternal = false;
    bool isMounted = false;

    const QString& id() const { return volumeUUID; }

    bool operator==(const DriveInfo&) const = default;
};

} // namespace tarnwell
