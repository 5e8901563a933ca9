#include "diskutil/MountPointNaming.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarnwell {

namespace {

// Enough for any sane number of volumes with one label; more means something else is wrong.
constexpr int maximumSuffix = 1000;

} // namespace

QString MountPointNaming::directoryName(const QString& label) {
    QString name;
    name.reserve(label.size());
    for (const QChar character : label) {
        // No shell ever sees the name, so quotes and the like stay; a line break in a folder name
        // would only confuse every line-based listing of the mounts.
        const bool unsafe = character == QLatin1Char('/') || character.category() == QChar::Other_Control;
        name.append(unsafe ? QLatin1Char('_') : character);
    }
    if (name.isEmpty()) {
        return QStringLiteral("Untitled");
    }
    if (name == QLatin1String(".") || name == QLatin1String("..")) {
        return QString(name.size(), QLatin1Char('_'));
    }
    return name;
}

QString MountPointNaming::createDirectory(const QString& root, const QString& label) {
    if (::mkdir(QFile::encodeName(root).constData(), 0755) != 0 && errno != EEXIST) {
        throw PlatformError(QStringLiteral("Could not create %1: %2")
                                .arg(root, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const QString base = QDir(root).filePath(directoryName(label));
    for (int suffix = 0; suffix <= maximumSuffix; ++suffix) {
        const QString candidate = suffix == 0 ? base : base + QString::number(suffix);
        if (::mkdir(QFile::encodeName(candidate).constData(), 0755) == 0) {
            return candidate;
        }
        if (errno != EEXIST) {
            throw PlatformError(QStringLiteral("Could not create %1: %2")
                                    .arg(candidate, QString::fromLocal8Bit(std::strerror(errno))));
        }
    }
    throw PlatformError(QStringLiteral("Could not find a free directory for %1 in %2").arg(label, root));
}

} // namespace tarnwell
