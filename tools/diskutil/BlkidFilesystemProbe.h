#pragma once

#include "diskutil/FilesystemIdentity.h"

namespace tarnwell {

// Probes superblocks and partition tables with libblkid inside this process, for the devices the
// udev database does not describe.
class BlkidFilesystemProbe : public FilesystemProbing {
public:
    FilesystemIdentity probe(const std::string& devicePath, bool isPartition) override;
};

} // namespace tarnwell
