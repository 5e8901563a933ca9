#include "core/disk/StorageTargetServicing.h"

namespace tarnwell {

StorageTargetServicing::~StorageTargetServicing() = default;

} // namespace tarnwell
