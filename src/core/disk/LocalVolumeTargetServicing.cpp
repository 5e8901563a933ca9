#include "core/disk/LocalVolumeTargetServicing.h"

namespace tarnwell {

LocalVolumeTargetServicing::~LocalVolumeTargetServicing() = default;

} // namespace tarnwell
