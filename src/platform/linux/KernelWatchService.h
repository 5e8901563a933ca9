#pragma once

#include "platform/linux/KernelWatching.h"

namespace tarnwell {

// The real inotify and pidfd calls.
class KernelWatchService : public KernelWatching {
public:
    int openFileWatches() override;
    int addFileWatch(int instance, const QByteArray& path, std::uint32_t events) override;
    void removeFileWatch(int instance, int watch) override;
    int openProcessHandle(pid_t pid) override;
};

} // namespace tarnwell
