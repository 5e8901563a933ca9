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

// One process folder of a prepared /proc tree.
struct FakeProcess {
    pid_t pid = 0;
    quint64 startTime = 100;
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

// A temporary root holding a prepared /proc tree, an applications folder and a folder of programs.
class PreparedSystem : public ::testing::Test {
protected:
    void SetUp() override;
    // A stub program in the folder of programs with a desktop entry "org.example.PROGRAM" running it.
    void addProgram(const QString& program, bool withEntry = true);
    void addEntry(const QString& id, const QByteArray& exec);
    // A process of the current user running a program from the folder of programs.
    FakeProcess process(pid_t pid, const QString& program, quint64 startTime = 100,
                        QList<QString> arguments = {}) const;
    // Adds or replaces a process folder. A replaced folder is built beside the old one and moved
    // over it, so it is a different folder, as a new process's is.
    void writeProcess(const FakeProcess& process) const;
    void writeUptime(double seconds) const;
    // The load average line, whose last fields are the thread count and the last PID handed out.
    void writeLoadAverage(int threads, pid_t lastPid) const;

    QTemporaryDir folder;
    QString root;
    QString proc;
    QString applications;
    QString bin;
};

} // namespace tarnwell::testing
