#include "diskutil/BlkidFilesystemProbe.h"

#include <blkid.h>
#include <memory>

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
    const QByteArray path = devicePath.toLocal8Bit();
    std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter> probe(
        blkid_new_probe_from_filename(path.constData()));
    if (!probe) {
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
