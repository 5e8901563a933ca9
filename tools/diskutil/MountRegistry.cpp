#include "diskutil/MountRegistry.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace tarnwell {

namespace {

QStringList readEntries(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void writeEntries(const QString& path, const QStringList& entries) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        throw PlatformError(QStringLiteral("Could not create the directory of %1").arg(path));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw PlatformError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
    for (const QString& entry : entries) {
        file.write(entry.toUtf8() + '\n');
    }
    if (!file.commit()) {
        throw PlatformError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
}

} // namespace

QString MountRegistry::defaultPath() {
    return QStringLiteral("/run/tarnwell-diskutil/created-mount-points");
}

MountRegistry::MountRegistry(QString path)
    : m_path(std::move(path)) {
}

void MountRegistry::add(const QString& directory) {
    QStringList entries = readEntries(m_path);
    if (!entries.contains(directory)) {
        entries.append(directory);
        writeEntries(m_path, entries);
    }
}

bool MountRegistry::take(const QString& directory) {
    QStringList entries = readEntries(m_path);
    if (!entries.removeAll(directory)) {
        return false;
    }
    writeEntries(m_path, entries);
    return true;
}

} // namespace tarnwell
