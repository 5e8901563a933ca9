#pragma once

#include <QString>

namespace tarnwell {

// Remembers the mount directories this tool created, so that an unmount removes those and never a
// directory someone else made. One path per line; the file lives on a tmpfs that a reboot clears,
// together with the mounts it describes.
class MountRegistry {
public:
    static QString defaultPath();

    explicit MountRegistry(QString path = defaultPath());

    // Throws PlatformError when the record cannot be written.
    void add(const QString& directory);
    // Forgets the directory and says whether it was recorded.
    bool take(const QString& directory);

private:
    QString m_path;
};

} // namespace tarnwell
