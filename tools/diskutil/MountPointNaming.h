#pragma once

#include <QString>

namespace tarnwell {

// Chooses and creates the directory a volume is mounted on when the tool mounts it itself.
class MountPointNaming {
public:
    // The label as one path component: "/" and control characters become "_",
    // and names that mean a directory already ("", ".", "..") are replaced.
    static QString directoryName(const QString& label);
    // Creates root/NAME, or root/NAME1, root/NAME2, ... when the path exists, and returns it. The
    // directory is created in one step, so two mounts never share it. Throws PlatformError when
    // no directory can be made.
    static QString createDirectory(const QString& root, const QString& label);
};

} // namespace tarnwell
