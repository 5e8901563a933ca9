#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// A network share. It is kept in the configuration, but never mounted or unmounted.
struct SMBTarget {
    QString displayName;
    QString urlString;
    std::optional<QString> lastKnownMountPoint;

    bool operator==(const SMBTarget&) const = default;
};

} // namespace tarnwell
