#pragma once

#include "diskutil/FilesystemIdentity.h"

namespace tarnwell {

// Probes superblocks with libblkid, the library behind the blkid program, inside this process:
// starting one blkid process per device would cost more than the whole lsblk run.
class BlkidFilesystemProbe : public FilesystemProbing {
public:
    FilesystemIdentity probe(const QString& devicePath) override;
};

} // namespace tarnwell
