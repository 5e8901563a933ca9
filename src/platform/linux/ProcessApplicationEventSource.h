#pragma once

#include "core/automation/ApplicationEventSource.h"
#include "platform/linux/ProcessIdentifier.h"

#include <QHash>
#include <QTimer>
#include <chrono>
#include <sys/types.h>
#include <unistd.h>

namespace tarnwell {

// Application launches and terminations read from /proc. Every tick lists the process folders and
// inspects only the processes it has not seen; a process is its PID plus its start time, so a
// reused PID is a new process. An application is launched when its first process appears and
// terminated when its last one ends. Only the given user's processes count.
class ProcessApplicationEventSource : public ApplicationEventSource {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pollInterval{250};
    // Ticks between two listings of every process folder; the ticks between only follow the PIDs
    // handed out since the last one.
    static constexpr int ticksBetweenListings = 16;
    static constexpr pid_t maximumFollowedPids = 4096;

    explicit ProcessApplicationEventSource(ProcessIdentifier identifier = ProcessIdentifier(),
                                           uid_t user = ::geteuid(), QObject* parent = nullptr);

    // From the same table the events come from; before observing starts, the table is brought up
    // to date without reporting anything.
    QList<RunningApplication> runningApplications() const override;
    // Takes the processes running now as already launched, then polls.
    void startObserving() override;

    // One tick: reports what ended, then what started, since the previous one.
    void poll();
    // Whether the last tick listed every process folder.
    bool lastPollListed() const { return m_lastPollListed; }

private:
    struct Process {
        quint64 startTime = 0;
        // The folder's inode only tells cheaply whether the folder may belong to another process
        // now; the start time decides.
        ino_t inode = 0;
        std::optional<QString> identifier;
        // A process younger than a second may not have run exec yet, so it is looked at again
        // when its program changes.
        bool settled = true;
        QByteArray executable;
        quint64 generation = 0;
    };

    struct Activity {
        // The thread count and the last PID handed out, as text.
        QByteArray counters;
        std::optional<pid_t> lastPid;
    };

    void scan(bool report, const Activity& activity, bool listing);
    void inspect(pid_t pid, Process& process, double uptime);
    bool isSettled(const Process& process, double now) const;
    void count(const std::optional<QString>& identifier, int change,
               QList<std::pair<QString, bool>>& changed);
    std::optional<quint64> startTime(pid_t pid) const;
    Activity processActivity() const;
    QByteArray executable(pid_t pid) const;
    bool isProcess(pid_t pid) const;
    double uptime() const;

    ProcessIdentifier m_identifier;
    uid_t m_user;
    QByteArray m_procRoot;
    QHash<pid_t, Process> m_processes;
    QHash<QString, int> m_instances;
    quint64 m_generation = 0;
    bool m_started = false;
    bool m_hasUnsettled = false;
    bool m_lastPollListed = false;
    QByteArray m_lastActivity;
    std::optional<pid_t> m_lastPid;
    int m_ticksSinceListing = 0;
    long m_ticksPerSecond;
    QTimer m_timer;
};

} // namespace tarnwell
