#pragma once

#include <QByteArray>
#include <QList>
#include <optional>
#include <sys/types.h>
#include <utility>

namespace tarnwell {

// The kernel's process folders below a /proc root, where the application monitor finds its
// candidates. Read with plain system calls: several are read for every new process, and QFile costs
// several times more per file.
class ProcessFolders {
public:
    explicit ProcessFolders(QByteArray procRoot);

    // What one read of the load average tells: the thread counts as text, and the last PID handed out.
    struct Activity {
        QByteArray counters;
        std::optional<pid_t> lastPid;
    };
    Activity activity() const;

    // Every process folder, by PID and the folder's inode, in the order the kernel lists them.
    QList<std::pair<pid_t, ino_t>> list() const;

    QByteArray stat(pid_t pid) const;
    std::optional<quint64> startTime(pid_t pid) const;
    // The program it runs; empty while exec is under way, for a zombie and for another user's.
    QByteArray executable(pid_t pid) const;
    // Empty until exec has laid out the new program's command line.
    QByteArray commandLine(pid_t pid) const;
    std::optional<uid_t> owner(pid_t pid) const;
    // Whether it has ended: gone, or a zombie its parent has not collected yet.
    bool hasEnded(pid_t pid) const;
    // Whether the PID is a process rather than a thread; nothing while it has no folder.
    std::optional<bool> isProcess(pid_t pid) const;
    // Seconds since boot; negative when the clock cannot be read.
    double uptime() const;

private:
    QByteArray folder(pid_t pid) const;
    QByteArray read(const QByteArray& path) const;

    QByteArray m_procRoot;
};

} // namespace tarnwell
