#include "core/disk/ShellRunning.h"

namespace tarnwell {

ShellRunning::~ShellRunning() = default;

} // namespace tarnwell
