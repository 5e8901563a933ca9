#pragma once

#include <QDir>
#include <QProcess>
#include <QThread>
#include <memory>
#include <vector>

namespace tarnwell::bench {

// Idle child processes that bring the process table up to a given size, ended when dropped.
class ProcessCrowd {
public:
    explicit ProcessCrowd(int total) {
        const int running = static_cast<int>(
            QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs).size());
        for (int index = running; index < total; ++index) {
            auto child = std::make_unique<QProcess>();
            child->start(QStringLiteral("/bin/sleep"), {QStringLiteral("3600")});
            if (!child->waitForStarted()) {
                break;
            }
            m_children.push_back(std::move(child));
        }
        // Processes younger than a second are still looked at on every tick; let them settle.
        QThread::msleep(1500);
    }

    ~ProcessCrowd() {
        for (auto& child : m_children) {
            child->kill();
        }
        for (auto& child : m_children) {
            child->waitForFinished();
        }
    }

    ProcessCrowd(const ProcessCrowd&) = delete;
    ProcessCrowd& operator=(const ProcessCrowd&) = delete;

    static int processCount() {
        return static_cast<int>(
            QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs).size());
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace tarnwell::bench
