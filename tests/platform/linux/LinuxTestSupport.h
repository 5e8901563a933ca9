#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <sys/types.h>

namespace tarnwell::testing {

// Writes a file, creating its folders; fails the test when it cannot.
void writeFile(const QString& path, const QByteArray& content);
// Writes a stub program its owner may run.
void writeProgram(const QString& path);

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

// A temporary root holding a prepared /proc tree, an applications folder and a folder of programs.
class PreparedSystem : public ::testing::Test {
protected:
    void SetUp() override;
    void addProgram(const QString& program) { writeProgram(bin + u'/' + program); }
    void addEntry(const QString& id, const QByteArray& exec);
    // A process of the current user running a program from the folder of programs.
    FakeProcess process(pid_t pid, const QString& program, quint64 startTime = 100,
                        QList<QString> arguments = {}) const;

    QTemporaryDir folder;
    QString root;
    QString proc;
    QString applications;
    QString bin;
};

} // namespace tarnwell::testing
