#include "platform/linux/KernelWatchService.h"

#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarnwell {

int KernelWatchService::openFileWatches() {
    return ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

int KernelWatchService::addFileWatch(int instance, const QByteArray& path, std::uint32_t events) {
    return ::inotify_add_watch(instance, path.constData(), events);
}

void KernelWatchService::removeFileWatch(int instance, int watch) {
    ::inotify_rm_watch(instance, watch);
}

int KernelWatchService::openProcessHandle(pid_t pid) {
    // The system call itself: C libraries older than the kernel feature have no wrapper for it.
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

} // namespace tarnwell
