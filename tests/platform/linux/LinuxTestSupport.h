#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace tarnwell::testing {

// Writes a file, creating its folders; fails the test when it cannot.
void writeFile(const QString& path, const QByteArray& content);

// One process folder of a prepared /proc tree.
struct FakeProcess {
    pid_t pid = 0;
    quint64 startTime = 0;
    QString executable;
    QList<QString> arguments;
    // Absent: the environment cannot be read.
    std::optional<QMap<QByteArray, QByteArray>> environment = QMap<QByteArray, QByteArray>{};
    QString cgroup = QStringLiteral("0::/user.slice/user-1000.slice/session-2.scope\n");
    QString workingDirectory = QStringLiteral("/");
    std::optional<QString> flatpakApplication;
    std::optional<uid_t> owner;
    // The process a thread belongs to; a process is its own.
    std::optional<pid_t> threadGroup;
};

// Adds or replaces a process folder. A replaced folder is built beside the old one and moved over
// it, so it is a different folder, as a new process's is.
void writeProcess(const QString& procRoot, const FakeProcess& process);
void writeUptime(const QString& procRoot, double seconds);
// The load average line, whose last fields are the thread count and the last PID handed out.
void writeLoadAverage(const QString& procRoot, int threads, pid_t lastPid);

} // namespace tarnwell::testing
