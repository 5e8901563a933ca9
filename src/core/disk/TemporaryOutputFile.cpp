#include "core/disk/TemporaryOutputFile.h"

#include "core/support/PlatformError.h"

#include <QDir>
#include <QUuid>

namespace tarnwell {

TemporaryOutputFile::TemporaryOutputFile(const QString& prefix)
    : m_path(QDir(QDir::tempPath())
                 .filePath(prefix + QLatin1Char('-') +
                           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()))
    , m_file(m_path) {
    // NewOnly refuses an existing file, so a planted file or link is never written through.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const QString message = m_file.errorString();
        m_isClosed = true;
        m_isCleanedUp = true;
        throw PlatformError(QStringLiteral("Could not create %1: %2").arg(m_path, message));
    }
}

TemporaryOutputFile::~TemporaryOutputFile() {
    cleanup();
}

void TemporaryOutputFile::close() {
    if (m_isClosed) {
        return;
    }
    m_isClosed = true;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        throw PlatformError(QStringLiteral("Could not close %1: %2").arg(m_path, m_file.errorString()));
    }
}

QByteArray TemporaryOutputFile::readAll() const {
    QFile reader(m_path);
    if (!reader.open(QIODevice::ReadOnly)) {
        throw PlatformError(QStringLiteral("Could not read %1: %2").arg(m_path, reader.errorString()));
    }
    QByteArray contents = reader.readAll();
    if (reader.error() != QFileDevice::NoError) {
        throw PlatformError(QStringLiteral("Could not read %1: %2").arg(m_path, reader.errorString()));
    }
    return contents;
}

void TemporaryOutputFile::cleanup() noexcept {
    if (m_isCleanedUp) {
        return;
    }
    m_isCleanedUp = true;
    try {
        close();
    } catch (...) {
        // The file is removed below whatever state its handle is in.
    }
    QFile::remove(m_path);
}

} // namespace tarnwell
