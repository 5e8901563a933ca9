#include "diskutil/MountRegistry.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

// Holds an exclusive lock beside the record for one read-modify-write. The record itself is
// replaced by rename on every write, so the lock lives in a file of its own that is never replaced.
class RegistryLock {
public:
    explicit RegistryLock(const QString& path) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            throw PlatformError(QStringLiteral("Could not create the directory of %1").arg(path));
        }
        const QByteArray lockPath = QFile::encodeName(path + QStringLiteral(".lock"));
        m_fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            throw PlatformError(QStringLiteral("Could not lock %1: %2")
                                    .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                ::close(m_fd);
                throw PlatformError(QStringLiteral("Could not lock %1: %2")
                                        .arg(path, QString::fromLocal8Bit(std::strerror(error))));
            }
        }
    }
    ~RegistryLock() { ::close(m_fd); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace

QString MountRegistry::defaultPath() {
    return QStringLiteral("/run/tarnwell-diskutil/created-mount-points");
}

MountRegistry::MountRegistry(QString path)
    : m_path(std::move(path)) {
}

void MountRegistry::add(const QString& directory) {
    const RegistryLock lock(m_path);
    QStringList entries = readEntries(m_path);
    if (!entries.contains(directory)) {
        entries.append(directory);
        writeEntries(m_path, entries);
    }
}

bool MountRegistry::take(const QString& directory) {
    const RegistryLock lock(m_path);
    QStringList entries = readEntries(m_path);
    if (!entries.removeAll(directory)) {
        return false;
    }
    writeEntries(m_path, entries);
    return true;
}

} // namespace tarnwell
