#pragma once

#include "core/disk/APFSVolumeRecord.h"
#include "core/disk/DiskIdentity.h"
#include "core/model/DriveInfo.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tarnwell {

// Reads the property lists the disk tool prints. Syntax errors come out as the reader's
// DecodingError; a document of the wrong shape is TarnwellError::unknown with a fixed message.
class DiskutilParser {
public:
    // `info -plist TARGET`, read as a volume.
    static DriveInfo parseInfoPlist(const QByteArray& data);
    // `info -plist TARGET`, read for where the device sits; no key is required.
    static DiskIdentity parseDiskIdentityPlist(const QByteArray& data);
    // `list -plist external physical`: the APFS physical stores, each once, in document order.
    static QStringList parseExternalAPFSPhysicalStoreIdentifiers(const QByteArray& data);
    // `apfs list CONTAINER -plist`: the volumes without roles.
    static QList<APFSVolumeRecord> parseAPFSVolumes(const QByteArray& data);
};

} // namespace tarnwell
