#include "platform/SettingsPreferencesStore.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace tarnwell {

namespace {

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a file could not be written at the path, in the system's words ("Read-only file system",
// "No space left on device", "Permission denied"), found by trying to create it; the given
// fallback when the system has nothing to say.
QString writeFailureReason(const QString& path, const QString& fallback) {
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return probe.errorString();
    }
    const bool created = probe.size() == 0;
    probe.close();
    if (created) {
        QFile::remove(path);
    }
    struct statvfs space {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &space) == 0 &&
        space.f_bavail == 0) {
        return systemMessage(ENOSPC);
    }
    return fallback;
}

} // namespace

SettingsPreferencesStore::SettingsPreferencesStore()
    : m_fileName(QSettings(QStringLiteral("Tarnwell"), QStringLiteral("Tarnwell")).fileName()) {
}

SettingsPreferencesStore::SettingsPreferencesStore(QString fileName)
    : m_fileName(std::move(fileName)) {
}

std::optional<QByteArray> SettingsPreferencesStore::data(const QString& key) const {
    // A QSettings object only for this read: it holds no pending change, so nothing of it can be
    // written back later.
    QSettings settings(m_fileName, QSettings::NativeFormat);
    settings.sync();
    const QVariant value = settings.value(key);
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toByteArray();
}

void SettingsPreferencesStore::setData(const QString& key, const QByteArray& value) {
    // QSettings keeps the first write error of an object for its whole life, and Qt keeps the
    // unwritten change of a file in a cache that later objects of the same file share. So the new
    // document is written by a QSettings object of its own, over a fresh copy of the file under a
    // name used once, and then renamed over the file.
    // A configuration kept elsewhere behind a symbolic link stays there.
    const QFileInfo link(m_fileName);
    const QFileInfo target(link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath());
    const QString temporary = target.absoluteFilePath() + QStringLiteral(".saving-") +
                              QUuid::createUuid().toString(QUuid::WithoutBraces);
    try {
        if (!QDir().mkpath(target.absolutePath())) {
            const int error = errno;
            throw PlatformError(QStringLiteral("Could not create the folder %1: %2")
                                    .arg(target.absolutePath(), systemMessage(error)));
        }
        QFile current(target.absoluteFilePath());
        if (target.exists() && !current.copy(temporary)) {
            throw PlatformError(QStringLiteral("Could not copy the preferences file %1: %2")
                                    .arg(m_fileName, writeFailureReason(temporary, current.errorString())));
        }
        write(temporary, key, value);
        if (std::rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
            throw PlatformError(QStringLiteral("Could not replace the preferences file %1: %2")
                                    .arg(m_fileName, systemMessage(errno)));
        }
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
}

void SettingsPreferencesStore::write(const QString& path, const QString& key, const QByteArray& value) const {
    {
        QSettings settings(path, QSettings::NativeFormat);
        settings.setValue(key, value);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            throw PlatformError(
                QStringLiteral("Could not write the preferences file %1: %2")
                    .arg(m_fileName,
                         writeFailureReason(path, QStringLiteral("the file could not be written"))));
        }
    }
    // A new file follows the user's umask and a copy keeps the old file's mode, but the
    // configuration is never left writable by everyone.
    struct stat status {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &status) != 0) {
        throw PlatformError(QStringLiteral("Could not write the preferences file %1: %2")
                                .arg(m_fileName, systemMessage(errno)));
    }
    if ((status.st_mode & S_IWOTH) != 0 && ::chmod(native.constData(), status.st_mode & 07775) != 0) {
        throw PlatformError(QStringLiteral("Could not protect the preferences file %1: %2")
                                .arg(m_fileName, systemMessage(errno)));
    }
}

} // namespace tarnwell
