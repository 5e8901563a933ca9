#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tarnwell {

// A file in the per-user temporary directory that receives one output stream of a child process.
// Destroying it removes the file, so the file never outlives the command that wrote it.
class TemporaryOutputFile {
public:
    // Creates prefix + "-" + an upper-case UUID; throws PlatformError when that is impossible.
    explicit TemporaryOutputFile(const QString& prefix);
    ~TemporaryOutputFile();

    TemporaryOutputFile(const TemporaryOutputFile&) = delete;
    TemporaryOutputFile& operator=(const TemporaryOutputFile&) = delete;

    const QString& path() const { return m_path; }

    // Closes the write handle once; throws PlatformError when closing fails.
    void close();
    // Reads the whole file; throws PlatformError when reading fails.
    QByteArray readAll() const;
    // Closes and removes the file, ignoring failures; idempotent.
    void cleanup() noexcept;

private:
    QString m_path;
    QFile m_file;
    bool m_isClosed = false;
    bool m_isCleanedUp = false;
};

} // namespace tarnwell
