#include "core/disk/DiskServicing.h"

namespace tarnwell {

DiskServicing::~DiskServicing() = default;

} // namespace tarnwell
