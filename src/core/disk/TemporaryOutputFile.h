#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

namespace tarnwell {

// A private file that receives one output stream of a child process. It is created exclusively and
// readable by its owner only, in the user's runtime directory when there is a usable one, else in
// the temporary directory. Destroying it removes the file, so it never outlives its command.
class TemporaryOutputFile {
public:
    // Creates prefix + "-" + the upper-case UUID; throws PlatformError when that is impossible,
    // also when anything already exists at that name.
    explicit TemporaryOutputFile(const QString& prefix, const QUuid& id = QUuid::createUuid());
    ~TemporaryOutputFile();

    TemporaryOutputFile(const TemporaryOutputFile&) = delete;
    TemporaryOutputFile& operator=(const TemporaryOutputFile&) = delete;

    // $XDG_RUNTIME_DIR when it is a directory of this user that it may write, else the temporary
    // directory.
    static QString directory();

    const QString& path() const { return m_path; }
    // The open descriptor the child writes through; -1 once closed.
    int descriptor() const { return m_descriptor; }

    // Reads the whole file through its descriptor; throws PlatformError when reading fails.
    QByteArray readAll() const;
    // Closes the descriptor once; throws PlatformError when closing fails.
    void close();
    // Closes and removes the file, ignoring failures; idempotent.
    void cleanup() noexcept;

private:
    QString m_path;
    int m_descriptor = -1;
    bool m_isCleanedUp = false;
};

} // namespace tarnwell
