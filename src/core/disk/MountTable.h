#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarnwell {

// The mount points of all mounted file systems, as the kernel lists them.
class MountTable {
public:
    struct Mount {
        QString majorMinor; // "7:3", the number the kernel gives the mounted file system
        QString source;     // "/dev/loop3", as the mount was asked for
        QString mountPoint;

        bool operator==(const Mount&) const = default;
    };

    static QString defaultPath() { return QStringLiteral("/proc/self/mountinfo"); }

    // Mount points from a mountinfo file in file order; nothing when it cannot be read.
    static QStringList mountPoints(const QString& mountInfoPath = defaultPath());
    // The whole file read as bytes; empty when it cannot be read.
    static QByteArray read(const QString& mountInfoPath = defaultPath());
    // Mounts from mountinfo text in file order; the kernel's octal escapes (\040 for a space, \012
    // for a line feed) are decoded and malformed lines are skipped.
    static QList<Mount> parse(const QByteArray& mountInfo);
    static QStringList parseMountPoints(const QByteArray& mountInfo);
    static QString decodeEscapes(const QByteArray& field);
};

} // namespace tarnwell
