#include "core/disk/MountTable.h"

#include <QFile>

namespace tarnwell {

QStringList MountTable::mountPoints(const QString& mountInfoPath) {
    return parseMountPoints(read(mountInfoPath));
}

QByteArray MountTable::read(const QString& mountInfoPath) {
    QFile file(mountInfoPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // The proc file reports no size, so it is read until its end rather than by its length.
    return file.readAll();
}

QList<MountTable::Mount> MountTable::parse(const QByteArray& mountInfo) {
    QList<Mount> mounts;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // Fields: mount ID, parent ID, major:minor, root, mount point, options, optional fields,
        // "-", file-system type, source, super options.
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || fields.at(4).isEmpty()) {
            continue;
        }
        const qsizetype separator = fields.indexOf("-", 5);
        const QByteArray source = separator > 0 ? fields.value(separator + 2) : QByteArray();
        mounts.append(
            {QString::fromLatin1(fields.at(2)), decodeEscapes(source), decodeEscapes(fields.at(4))});
    }
    return mounts;
}

QStringList MountTable::parseMountPoints(const QByteArray& mountInfo) {
    QStringList points;
    for (const Mount& mount : parse(mountInfo)) {
        points.append(mount.mountPoint);
    }
    return points;
}

QString MountTable::decodeEscapes(const QByteArray& field) {
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype index = 0; index < field.size(); ++index) {
        const auto isOctal = [&](qsizetype at) {
            return at < field.size() && field[at] >= '0' && field[at] <= '7';
        };
        if (field[index] == '\\' && isOctal(index + 1) && isOctal(index + 2) && isOctal(index + 3)) {
            const int value =
                (field[index + 1] - '0') * 64 + (field[index + 2] - '0') * 8 + (field[index + 3] - '0');
            if (value <= 0xFF) {
                decoded.append(static_cast<char>(value));
                index += 3;
                continue;
            }
        }
        decoded.append(field[index]);
    }
    return QString::fromUtf8(decoded);
}

} // namespace tarnwell
