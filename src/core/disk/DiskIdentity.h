#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// Where a device sits: its node, the APFS container it belongs to and its bus.
struct DiskIdentity {
    std::optional<QString> diskIdentifier;
    std::optional<QString> apfsContainerIdentifier;
    std::optional<QString> busProtocol;
    bool isExternal = false;

    bool operator==(const DiskIdentity&) const = default;
};

} // namespace tarnwell
