#include "core/disk/TemporaryOutputFile.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

TemporaryOutputFile::TemporaryOutputFile(const QString& prefix, const QUuid& id)
    : m_path(QDir(directory())
                 .filePath(prefix + QLatin1Char('-') + id.toString(QUuid::WithoutBraces).toUpper())) {
    // O_EXCL refuses anything already at the name, a planted file or link included, and O_NOFOLLOW
    // keeps that true on systems where O_EXCL alone would follow a dangling link.
    m_descriptor = ::open(QFile::encodeName(m_path).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (m_descriptor < 0) {
        m_isCleanedUp = true;
        throw PlatformError(QStringLiteral("Could not create %1: %2").arg(m_path, systemError(errno)));
    }
}

TemporaryOutputFile::~TemporaryOutputFile() {
    cleanup();
}

QString TemporaryOutputFile::directory() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat status {};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::geteuid() && ::access(runtime.constData(), W_OK | X_OK) == 0) {
        return QFile::decodeName(runtime);
    }
    return QDir::tempPath();
}

QByteArray TemporaryOutputFile::readAll() const {
    QByteArray contents;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t count = ::pread(m_descriptor, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw PlatformError(QStringLiteral("Could not read %1: %2").arg(m_path, systemError(errno)));
        }
        if (count == 0) {
            return contents;
        }
        contents.append(buffer, count);
        offset += count;
    }
}

void TemporaryOutputFile::close() {
    if (m_descriptor < 0) {
        return;
    }
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0 && errno != EINTR) {
        throw PlatformError(QStringLiteral("Could not close %1: %2").arg(m_path, systemError(errno)));
    }
}

void TemporaryOutputFile::cleanup() noexcept {
    if (m_isCleanedUp) {
        return;
    }
    m_isCleanedUp = true;
    try {
        close();
    } catch (...) {
        // The file is removed below whatever state its descriptor is in.
    }
    ::unlink(QFile::encodeName(m_path).constData());
}

} // namespace tarnwell
