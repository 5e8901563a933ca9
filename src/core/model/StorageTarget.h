#pragma once

#include "core/model/LocalVolumeTarget.h"
#include "core/model/SMBTarget.h"

#include <variant>

namespace tarnwell {

// What a storage rule mounts: a local volume or a network share.
class StorageTarget {
public:
    StorageTarget() = default;
    StorageTarget(LocalVolumeTarget volume);
    StorageTarget(SMBTarget share);

    static StorageTarget localVolume(LocalVolumeTarget volume) { return StorageTarget(std::move(volume)); }
    static StorageTarget smbShare(SMBTarget share) { return StorageTarget(std::move(share)); }

    // "local:" + volume UUID, or "smb:" + share address.
    QString id() const;
    QString displayName() const;

    const LocalVolumeTarget* asLocalVolume() const { return std::get_if<LocalVolumeTarget>(&m_value); }
    const SMBTarget* asSMBShare() const { return std::get_if<SMBTarget>(&m_value); }

    bool operator==(const StorageTarget&) const = default;

private:
    std::variant<LocalVolumeTarget, SMBTarget> m_value;
};

} // namespace tarnwell
