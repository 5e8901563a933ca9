#include "platform/SettingsPreferencesStore.h"

#include "core/support/PlatformError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace tarnwell {

namespace {

Q_LOGGING_CATEGORY(preferences, "tarnwell.preferences")

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The values of a file that holds a line QSettings cannot read, or nothing when every line reads.
std::optional<SettingsPreferencesStore::Values> valuesOfUnreadableFile(const QString& path) {
    QSettings settings(path, QSettings::NativeFormat);
    // Sections are parsed when their keys are first asked for, and only then report their errors.
    const QStringList keys = settings.allKeys();
    if (settings.status() != QSettings::FormatError) {
        return std::nullopt;
    }
    SettingsPreferencesStore::Values values;
    for (const QString& key : keys) {
        if (!key.isEmpty()) {
            values.append({key, settings.value(key)});
        }
    }
    return values;
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
    QString kept;
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
        // A line QSettings cannot read leaves a format error on every object that reads the file,
        // where it would pass for a failed write. Such a file is written afresh from the values that
        // could be read, and the file as it was stays beside it.
        const auto salvaged = target.exists() ? valuesOfUnreadableFile(temporary) : std::nullopt;
        if (salvaged) {
            const QString copy =
                target.absoluteFilePath() + QStringLiteral(".unreadable-") +
                QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
            if (!QFile::copy(temporary, copy)) {
                throw PlatformError(QStringLiteral("Could not keep a copy of the preferences file %1 as %2.")
                                        .arg(m_fileName, copy));
            }
            kept = copy;
            if (!QFile::resize(temporary, 0)) {
                throw PlatformError(
                    QStringLiteral("Could not write the preferences file %1.").arg(m_fileName));
            }
        }
        write(temporary, salvaged.value_or(Values{}), key, value);
        if (std::rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
            throw PlatformError(QStringLiteral("Could not replace the preferences file %1: %2")
                                    .arg(m_fileName, systemMessage(errno)));
        }
    } catch (...) {
        QFile::remove(temporary);
        if (!kept.isEmpty()) {
            QFile::remove(kept);
        }
        throw;
    }
    if (!kept.isEmpty()) {
        qCWarning(preferences).noquote()
            << QStringLiteral("The preferences file %1 had lines that could not be read; it was saved "
                              "without them, and the file as it was is kept as %2.")
                   .arg(m_fileName, kept);
    }
}

void SettingsPreferencesStore::write(const QString& path, const Values& carried, const QString& key,
                                     const QByteArray& value) const {
    {
        QSettings settings(path, QSettings::NativeFormat);
        for (const auto& [name, previous] : carried) {
            settings.setValue(name, previous);
        }
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
