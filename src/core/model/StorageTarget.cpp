#include "core/model/StorageTarget.h"

namespace tarnwell {

StorageTarget::StorageTarget(LocalVolumeTarget volume)
    : m_value(std::move(volume)) {
}

StorageTarget::StorageTarget(SMBTarget share)
    : m_value(std::move(share)) {
}

QString StorageTarget::id() const {
    if (const auto* volume = asLocalVolume()) {
        return QStringLiteral("local:") + volume->volumeUUID;
    }
    return QStringLiteral("smb:") + asSMBShare()->urlString;
}

QString StorageTarget::displayName() const {
    if (const auto* volume = asLocalVolume()) {
        return volume->volumeName;
    }
    return asSMBShare()->displayName;
}

} // namespace tarnwell
