#include "diskutil/BlkidFilesystemProbe.h"

#include <QFile>
#include <QScopeGuard>
#include <blkid.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace tarnwell {

namespace {

struct ProbeDeleter {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};

std::optional<QString> lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || value == nullptr) {
        return std::nullopt;
    }
    // The reported length includes the terminating zero.
    const auto size = static_cast<qsizetype>(length > 0 ? length - 1 : 0);
    return QString::fromUtf8(value, size);
}

} // namespace

FilesystemIdentity BlkidFilesystemProbe::probe(const QString& devicePath) {
    // The kernel drops a block device's page cache when its last user closes it, so every run
    // reads the superblocks from the device again. Read-ahead would multiply that for the few
    // scattered blocks the probers look at.
    const int descriptor =
        ::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return {};
    }
    const auto closeDescriptor = qScopeGuard([descriptor] { ::close(descriptor); });
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_RANDOM);
    std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter> probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), descriptor, 0, 0) != 0) {
        return {};
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID |
                                                       BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    // Partition tables are not file systems; lsblk already reports them.
    blkid_probe_enable_partitions(probe.get(), 0);
    if (blkid_do_safeprobe(probe.get()) != 0) {
        return {};
    }
    FilesystemIdentity identity;
    identity.type = lookup(probe.get(), "TYPE");
    identity.version = lookup(probe.get(), "VERSION");
    identity.label = lookup(probe.get(), "LABEL");
    identity.uuid = lookup(probe.get(), "UUID");
    return identity;
}

} // namespace tarnwell
