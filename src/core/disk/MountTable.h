#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwell {

// The mount points of all mounted file systems, as the kernel lists them.
class MountTable {
public:
    // Mount points from a mountinfo file in file order; nothing when it cannot be read.
    static QStringList mountPoints(const QString& mountInfoPath = QStringLiteral("/proc/self/mountinfo"));
    // Mount points from mountinfo text; the kernel's octal escapes (\040 for a space, \012 for a
    // line feed) are decoded and malformed lines are skipped.
    static QStringList parseMountPoints(const QByteArray& mountInfo);
    static QString decodeEscapes(const QByteArray& field);
};

} // namespace tarnwell
