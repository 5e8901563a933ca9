#pragma once

#include "platform/linux/DesktopEntryCatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace tarnwell::bench {

// Idle child processes that bring the process table up to a given size, ended when dropped. They
// are started without pipes, so the benchmark's own event loop has nothing to watch for them.
class ProcessCrowd {
public:
    explicit ProcessCrowd(int total) {
        char program[] = "/bin/sleep";
        char duration[] = "3600";
        char* arguments[] = {program, duration, nullptr};
        for (int index = processCount(); index < total; ++index) {
            pid_t child = 0;
            if (::posix_spawn(&child, program, nullptr, nullptr, arguments, environ) != 0) {
                break;
            }
            m_children.push_back(child);
        }
        // Processes younger than a second are still looked at on every tick; let them settle.
        QThread::msleep(1500);
    }

    ~ProcessCrowd() {
        for (const pid_t child : m_children) {
            ::kill(child, SIGKILL);
        }
        for (const pid_t child : m_children) {
            ::waitpid(child, nullptr, 0);
        }
    }

    ProcessCrowd(const ProcessCrowd&) = delete;
    ProcessCrowd& operator=(const ProcessCrowd&) = delete;

    static int processCount() {
        return static_cast<int>(
            QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs).size());
    }

private:
    std::vector<pid_t> m_children;
};

// A catalog of the installed applications once its first reading has arrived on this thread.
inline std::shared_ptr<DesktopEntryCatalog>
readCatalog(const QList<QString>& directories = DesktopEntryIndex::defaultApplicationDirectories(),
            const QString& searchPath = qEnvironmentVariable("PATH")) {
    auto catalog = std::make_shared<DesktopEntryCatalog>(directories, searchPath);
    while (!catalog->current()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return catalog;
}

} // namespace tarnwell::bench
