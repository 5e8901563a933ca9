#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// A local (typically external) volume, identified by its volume UUID. The other fields record what
// the disk tool reported when the rule was made.
struct LocalVolumeTarget {
    QString volumeName;
    QString volumeUUID;
    std::optional<QString> diskIdentifier;
    std::optional<QString> fileSystem;
    std::optional<QString> mountPoint;
    std::optional<QString> busProtocol;
    bool isExternal = false;

    bool operator==(const LocalVolumeTarget&) const = default;
};

} // namespace tarnwell
