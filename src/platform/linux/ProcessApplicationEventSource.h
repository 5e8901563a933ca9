#pragma once

#include "core/automation/ApplicationEventSource.h"
#include "platform/linux/InstanceCount.h"
#include "platform/linux/KernelWatchService.h"
#include "platform/linux/ProcessFolders.h"
#include "platform/linux/ProcessIdentifier.h"
#include "platform/linux/ProgramWatches.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <memory>
#include <sys/types.h>
#include <unistd.h>
#include <unordered_map>

namespace tarnwell {

// How often the application monitor looks at /proc.
struct ProcessPollIntervals {
    // Between ticks when nothing is watched closely, or cannot be.
    std::chrono::milliseconds polling{250};
    // Between ticks while every watched application has its programs watched.
    std::chrono::milliseconds watching{2000};
};

// Application launches and terminations read from /proc. Every tick finds the candidates in the
// process folders (ProcessFolders) and inspects only the processes it has not seen; a process is its
// PID plus its start time, so a reused PID is a new process. ProcessIdentifier names each one, its
// parent's instance in view, and InstanceCount turns the counts into launches and terminations: an
// application is launched when its first instance appears and terminated when its last one ends,
// unless a young fork of that process's parent, seen after one of its programs was opened, may
// still run it: then the quit waits for that fork. Only the given user's processes count.
//
// The watched applications are followed closely: opening one of their programs (which executing it
// does, ProgramWatches reports it) starts a look at the new processes at once, and a handle on each
// of their processes tells when it ends. The ticks then only catch what the watches cannot see, so they come
// less often. Without file watches or process handles, the ticks alone do the work, as often as before.
class ProcessApplicationEventSource : public ApplicationEventSource {
    Q_OBJECT

public:
    using Intervals = ProcessPollIntervals;
    // After a program was opened, the new processes are looked at again after each of these steps:
    // exec may not have finished when the open is reported, and a short-lived program must be seen
    // before it ends. Each look at the new PIDs costs some microseconds.
    static constexpr std::chrono::milliseconds followUpDelays[] = {
        std::chrono::milliseconds(0), std::chrono::milliseconds(1), std::chrono::milliseconds(1),
        std::chrono::milliseconds(2)};
    // Under load exec can take tens of milliseconds to finish after the open, and the program may
    // then live only a few. So while a young fork that is not a watched application still runs its
    // parent's program, the looks go on at this pace, for at most a second after the open.
    static constexpr std::chrono::milliseconds followUpPace{1};
    // Ticks between two listings of every process folder; the ticks between only follow the PIDs
    // handed out since the last one.
    static constexpr int ticksBetweenListings = 16;
    static constexpr pid_t maximumFollowedPids = 4096;
    // A PID is handed out a moment before its process shows in /proc, so one found without a
    // folder is looked at again by the next ticks, for a while; the newest few are kept.
    static constexpr std::chrono::milliseconds pidWithoutFolderKept{1000};
    static constexpr qsizetype maximumPidsWithoutFolder = 16;

    explicit ProcessApplicationEventSource(
        ProcessIdentifier identifier = ProcessIdentifier(), uid_t user = ::geteuid(),
        std::shared_ptr<KernelWatching> kernel = std::make_shared<KernelWatchService>(),
        Intervals intervals = {}, QObject* parent = nullptr);
    ~ProcessApplicationEventSource() override;

    // From the same table the events come from; before observing starts, the table is brought up
    // to date without reporting anything.
    QList<RunningApplication> runningApplications() const override;
    // Takes the processes running now as already launched, then polls.
    void startObserving() override;
    void watchApplications(const QSet<QString>& bundleIdentifiers) override;
    QList<ApplicationWatch> applicationWatches() const override { return m_applicationWatches; }

    // One tick: reports what ended, then what started, since the previous one.
    void poll();
    // Whether the last tick listed every process folder.
    bool lastPollListed() const { return m_lastPollListed; }
    std::chrono::milliseconds currentPollInterval() const { return m_timer.intervalAsDuration(); }

private:
    // An open process handle and what tells when it becomes readable.
    struct ProcessHandle {
        quint64 startTime = 0;
        int descriptor = -1;
        QSocketNotifier* notifier = nullptr;
    };
    using Changes = InstanceCount::Changes;
    struct Process {
        quint64 startTime = 0;
        // The folder's inode only tells cheaply whether the folder may belong to another process
        // now; the start time decides.
        ino_t inode = 0;
        std::optional<QString> identifier;
        // The instance's own folder, which its descendants' programs may run from.
        QString folder;
        // Whether it is the user's, and so may be one of the user's applications.
        bool mine = false;
        // Whether the instance was launched as this process rather than started by one of its own.
        bool launched = false;
        // A process younger than a second may not have run exec yet, so it is looked at again
        // when its program changes.
        bool settled = true;
        // Young and still running its parent's program, or in the middle of exec: a fork that may
        // be about to run a watched program.
        bool awaitingExec = false;
        pid_t parent = 0;
        QByteArray executable;
        quint64 generation = 0;
        // Its handle said it ended; it stays in the table, as nobody, until its folder goes.
        bool ended = false;
    };

    using Activity = ProcessFolders::Activity;

    void tick(bool countsTowardsListing);
    // Names every process again, as the installed applications or the chosen programs changed.
    void identifyAgain();
    void scan(bool report, const Activity& activity, bool listing);
    void report(const Changes& changed);
    // Whether, within a second of an open of a watched program, a young fork of the parent (of any
    // parent, without one) still runs its parent's program.
    bool mayStillRunWatchedProgram(std::optional<pid_t> parent = std::nullopt) const;
    // What the process's parent is an instance of, when it is one.
    std::optional<ProcessIdentity> identityOf(pid_t pid) const;
    void inspect(pid_t pid, Process& process, double uptime);
    // Inspects a known process whose program changed, and moves its count to what it is now.
    void inspectAgain(pid_t pid, Process& process, double now, Changes& changed);
    bool isSettled(const Process& process, double now) const;
    bool isAwaitingExec(const Process& process) const;
    void count(const std::optional<QString>& identifier, int change, pid_t parent, Changes& changed);

    // Close watching: arming, the events, and the fallback to ticks alone.
    bool isWatching() const { return m_started && m_fallbackReason.isEmpty(); }
    void armWatches();
    ApplicationWatch watchOf(const QString& id);
    void updateApplicationWatches();
    void watchedActivity(int opens, int closes);
    void followUp();
    void inspectSettled();
    void updateProcessHandles();
    void processEnded(pid_t pid);
    void closeProcessHandle(pid_t pid);
    void fallBack(const QString& reason);
    void updatePollInterval();

    ProcessIdentifier m_identifier;
    uid_t m_user;
    ProcessFolders m_folders;
    QHash<pid_t, Process> m_processes;
    InstanceCount m_instances;
    quint64 m_generation = 0;
    bool m_started = false;
    bool m_hasUnsettled = false;
    // The parents of young forks that may still be about to run exec.
    QSet<pid_t> m_parentsOfAwaitedForks;
    bool m_lastPollListed = false;
    QByteArray m_lastActivity;
    std::optional<pid_t> m_lastPid;
    QList<std::pair<pid_t, std::chrono::steady_clock::time_point>> m_pidsWithoutFolder;
    int m_ticksSinceListing = 0;
    long m_ticksPerSecond;
    QTimer m_timer;

    std::shared_ptr<KernelWatching> m_kernel;
    Intervals m_intervals;
    QSet<QString> m_watchedApplications;
    // Why file watches or process handles cannot be used at all; empty while they can.
    QString m_fallbackReason;
    bool m_everyWatchedApplicationArmed = false;
    QList<ApplicationWatch> m_applicationWatches;
    ProgramWatches* m_watches = nullptr;
    QTimer m_followUp;
    size_t m_followUpStep = 0;
    QElapsedTimer m_sinceOpen;
    // Opens of watched programs since the looks began that no close has matched yet.
    int m_unclosedOpens = 0;
    // Whether a watched application started since the last open of a watched program.
    bool m_openExplained = true;
    std::unordered_map<pid_t, ProcessHandle> m_processHandles;
};

} // namespace tarnwell
