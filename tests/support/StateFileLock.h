#pragma once

#include <QFile>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwell::testing {

// Holds an exclusive lock beside a state file that a test and the tool runs it starts both rewrite,
// so that no read-modify-write of one loses the other's change.
class StateFileLock {
public:
    explicit StateFileLock(const QString& statePath)
        : m_descriptor(::open(QFile::encodeName(statePath + QStringLiteral(".lock")).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (m_descriptor >= 0) {
            while (::flock(m_descriptor, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StateFileLock() {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    StateFileLock(const StateFileLock&) = delete;
    StateFileLock& operator=(const StateFileLock&) = delete;

private:
    int m_descriptor;
};

} // namespace tarnwell::testing
