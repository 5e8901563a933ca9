#include "core/disk/DiskServicing.h"

namespace tarnwell {

DiskServicing::~DiskServicing() = default;

void DiskServicing::stop() {
}

bool DiskServicing::hasCommandsInFlight() const {
    return false;
}

} // namespace tarnwell
