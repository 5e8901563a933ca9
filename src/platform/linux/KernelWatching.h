#pragma once

#include <QByteArray>
#include <cstdint>
#include <sys/types.h>

namespace tarnwell {

// The kernel's file watches (inotify) and process handles (pidfd), as the application monitor uses
// them. Each call returns what the system call returns and leaves errno as it set it, so that a
// substitute can refuse any of them the way an old kernel or a reached limit would.
class KernelWatching {
public:
    virtual ~KernelWatching() = default;

    // A new, non-blocking, close-on-exec watch instance, or -1.
    virtual int openFileWatches() = 0;
    // A watch descriptor for the path within the instance, or -1.
    virtual int addFileWatch(int instance, const QByteArray& path, std::uint32_t events) = 0;
    virtual void removeFileWatch(int instance, int watch) = 0;
    // A descriptor that becomes readable when the process has ended, or -1.
    virtual int openProcessHandle(pid_t pid) = 0;
};

} // namespace tarnwell
