#include "platform/linux/ProcessApplicationEventSource.h"

#include "core/support/Localization.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace tarnwell {

namespace {

constexpr double settlingSeconds = 1.0;

} // namespace

ProcessApplicationEventSource::ProcessApplicationEventSource(ProcessIdentifier identifier, uid_t user,
                                                             std::shared_ptr<KernelWatching> kernel,
                                                             Intervals intervals, QObject* parent)
    : ApplicationEventSource(parent)
    , m_identifier(std::move(identifier))
    , m_user(user)
    , m_folders(QFile::encodeName(m_identifier.procRoot()))
    , m_ticksPerSecond(std::max(::sysconf(_SC_CLK_TCK), 1L))
    , m_kernel(std::move(kernel))
    , m_intervals(intervals) {
    m_timer.setInterval(m_intervals.polling);
    connect(&m_timer, &QTimer::timeout, this, &ProcessApplicationEventSource::poll);
    m_followUp.setSingleShot(true);
    m_followUp.setTimerType(Qt::PreciseTimer);
    connect(&m_followUp, &QTimer::timeout, this, &ProcessApplicationEventSource::followUp);
    connect(m_identifier.catalog().get(), &DesktopEntryCatalog::changed, this,
            &ProcessApplicationEventSource::identifyAgain);
}

void ProcessApplicationEventSource::identifyAgain() {
    if (!m_started) {
        return;
    }
    // Every process is named again by the new entries or chosen programs, parents first: an editor
    // installed a moment before it was started launches now.
    QList<pid_t> pids;
    for (auto process = m_processes.cbegin(); process != m_processes.cend(); ++process) {
        if (process->mine && !process->ended) {
            pids.append(process.key());
        }
    }
    std::sort(pids.begin(), pids.end());
    Changes changed;
    const double now = m_folders.uptime();
    for (const pid_t pid : std::as_const(pids)) {
        Process& process = m_processes[pid];
        if (m_folders.startTime(pid) == process.startTime) {
            inspectAgain(pid, process, now, changed);
        }
    }
    report(changed);
    if (isWatching()) {
        armWatches();
        updateProcessHandles();
    }
}

ProcessApplicationEventSource::~ProcessApplicationEventSource() {
    while (!m_processHandles.empty()) {
        closeProcessHandle(m_processHandles.begin()->first);
    }
}

QList<RunningApplication> ProcessApplicationEventSource::runningApplications() const {
    if (!m_started) {
        // The table is a cache of what /proc says; refreshing it changes nothing observable.
        const_cast<ProcessApplicationEventSource*>(this)->scan(false, m_folders.activity(), true);
    }
    QList<RunningApplication> applications;
    for (const Process& process : m_processes) {
        if (process.identifier) {
            applications.append(RunningApplication{process.identifier});
        }
    }
    return applications;
}

void ProcessApplicationEventSource::startObserving() {
    if (m_started) {
        return;
    }
    scan(false, m_folders.activity(), true);
    m_started = true;
    m_watches = new ProgramWatches(m_kernel, this);
    if (!m_watches->open()) {
        fallBack(localized("file watches are unavailable (") + QString::fromLocal8Bit(std::strerror(errno)) +
                 u')');
    } else if (const int probe = m_kernel->openProcessHandle(::getpid()); probe < 0) {
        fallBack(localized("process handles are unavailable (") +
                 QString::fromLocal8Bit(std::strerror(errno)) + u')');
    } else {
        ::close(probe);
        connect(m_watches, &ProgramWatches::activity, this, &ProcessApplicationEventSource::watchedActivity);
        connect(m_watches, &ProgramWatches::failed, this,
                [this](const QByteArray& path, const QString& reason) {
                    Q_EMIT noticed(localizedFormat(
                        "Starts of %@ are checked every %lld ms, not watched: %@.",
                        {QFile::decodeName(path), static_cast<qint64>(m_intervals.polling.count()), reason}));
                });
        armWatches();
        updateProcessHandles();
    }
    updatePollInterval();
    m_timer.start();
}

void ProcessApplicationEventSource::watchApplications(const QSet<QString>& bundleIdentifiers) {
    const bool chosenProgramsChanged =
        std::any_of(bundleIdentifiers.cbegin(), bundleIdentifiers.cend(), [this](const QString& id) {
            return ProcessIdentifier::isChosenProgram(id) && !m_watchedApplications.contains(id);
        });
    m_watchedApplications = bundleIdentifiers;
    m_identifier.setChosenPrograms(bundleIdentifiers);
    if (chosenProgramsChanged) {
        identifyAgain();
    }
    if (isWatching()) {
        armWatches();
        updateProcessHandles();
    } else if (m_started) {
        updateApplicationWatches();
    }
}

void ProcessApplicationEventSource::poll() {
    tick(true);
}

void ProcessApplicationEventSource::tick(bool countsTowardsListing) {
    // Listing several hundred process folders costs about a millisecond. The load average tells
    // in one read the thread count and the last PID handed out: when neither moved, nothing
    // started or ended, and otherwise the new processes can only hold the PIDs handed out since
    // the last tick. So a tick lists the folders only now and then, as a safety net, or when the
    // PIDs wrapped around or too many were handed out to follow them one by one. A look caused by
    // a watched program does not bring the next listing closer.
    const Activity activity = m_folders.activity();
    if (countsTowardsListing) {
        ++m_ticksSinceListing;
    }
    const bool follow = activity.lastPid && m_lastPid && *activity.lastPid >= *m_lastPid &&
                        *activity.lastPid - *m_lastPid <= maximumFollowedPids &&
                        m_ticksSinceListing < ticksBetweenListings;
    m_lastPollListed = !follow;
    if (!follow) {
        scan(m_started, activity, true);
    } else if (activity.counters != m_lastActivity || m_hasUnsettled) {
        scan(m_started, activity, false);
    }
    // Application folders that did not exist when the entries were read cannot be watched, so the
    // listings check whether one came; that costs a few calls and the reading runs elsewhere.
    if (countsTowardsListing && (m_lastPollListed || m_timer.intervalAsDuration() == m_intervals.watching)) {
        m_identifier.refreshIfChanged();
    }
    if (!isWatching()) {
        return;
    }
    if (countsTowardsListing && !m_watches->failures().isEmpty()) {
        // Watches freed elsewhere, or a program installed since, let a program be watched again.
        m_watches->retry();
        updateApplicationWatches();
    }
    updateProcessHandles();
}

bool ProcessApplicationEventSource::isAwaitingExec(const Process& process) const {
    // Until exec replaces it, a fork runs its parent's program, and in the middle of exec its
    // program cannot be read at all (nor can a zombie's, which its parent collects soon).
    if (process.settled) {
        return false;
    }
    const QByteArray parentProgram = m_folders.executable(process.parent);
    return !parentProgram.isEmpty() && (process.executable.isEmpty() || process.executable == parentProgram);
}

bool ProcessApplicationEventSource::isSettled(const Process& process, double now) const {
    const double started = static_cast<double>(process.startTime) / static_cast<double>(m_ticksPerSecond);
    return now < 0 || now - started >= settlingSeconds;
}

std::optional<ProcessIdentity> ProcessApplicationEventSource::identityOf(pid_t pid) const {
    const auto process = m_processes.constFind(pid);
    if (process == m_processes.cend() || !process->identifier || process->ended) {
        return std::nullopt;
    }
    return ProcessIdentity{*process->identifier, process->folder};
}

void ProcessApplicationEventSource::inspect(pid_t pid, Process& process, double now) {
    process.executable = m_folders.executable(pid);
    process.settled = isSettled(process, now);
    // Exec shows the new program a moment before its command line and environment, which may be
    // what names it. Read before the process is named, so that what is named is never older.
    const bool laidOut = process.settled || !m_folders.commandLine(pid).isEmpty();
    const auto parentIdentity = identityOf(process.parent);
    auto identity = m_identifier.identify(pid, process.parent, parentIdentity);
    // The process an instance was launched as stays that instance through every exec that names no
    // other application: a wrapper that runs the editor in its place, a portable image's runtime, a
    // restart in place. One that has ended runs nothing any more.
    if (process.launched && process.identifier && !identity && !m_folders.hasEnded(pid)) {
        identity = ProcessIdentity{*process.identifier, process.folder};
    }
    process.identifier = identity ? std::optional<QString>(identity->id) : std::nullopt;
    process.folder = identity ? identity->folder : QString();
    process.launched = identity && !(parentIdentity && parentIdentity->id == identity->id);
    // Until they are there, the process is looked at again.
    if (!process.identifier && !laidOut) {
        process.executable.clear();
    }
}

void ProcessApplicationEventSource::inspectAgain(pid_t pid, Process& process, double now, Changes& changed) {
    const auto previous = process.identifier;
    inspect(pid, process, now);
    process.awaitingExec = isAwaitingExec(process);
    if (process.identifier != previous) {
        count(previous, -1, process.parent, changed);
        count(process.identifier, +1, process.parent, changed);
    }
}

void ProcessApplicationEventSource::count(const std::optional<QString>& identifier, int change, pid_t parent,
                                          Changes& changed) {
    m_openExplained =
        m_openExplained || (identifier && change > 0 && m_watchedApplications.contains(*identifier));
    m_instances.count(identifier, change, parent, changed);
}

void ProcessApplicationEventSource::scan(bool report, const Activity& activity, bool listing) {
    const std::optional<pid_t> previousLastPid = m_lastPid;
    m_lastActivity = activity.counters;
    m_lastPid = activity.lastPid;
    ++m_generation;
    QList<std::pair<pid_t, ino_t>> unseen;
    QList<pid_t> unsettled;
    if (listing) {
        m_ticksSinceListing = 0;
        for (const auto& [pid, inode] : m_folders.list()) {
            const auto known = m_processes.find(pid);
            if (known != m_processes.end() && known->inode == inode) {
                known->generation = m_generation;
                if (!known->settled) {
                    unsettled.append(pid);
                }
            } else {
                unseen.append({pid, inode});
            }
        }
    } else {
        // Only applications and processes that may still become one need to be checked; the
        // others leave the table at the next listing.
        for (auto process = m_processes.begin(); process != m_processes.end(); ++process) {
            process->generation = m_generation;
            if (process->identifier || !process->settled) {
                if (m_folders.startTime(process.key()) != process->startTime) {
                    process->generation = 0;
                } else if (!process->settled) {
                    unsettled.append(process.key());
                }
            }
        }
        const auto lookedAt = std::chrono::steady_clock::now();
        decltype(m_pidsWithoutFolder) withoutFolder;
        const auto look = [&](pid_t pid, std::chrono::steady_clock::time_point handedOut) {
            const auto process = m_folders.isProcess(pid);
            if (!process) {
                withoutFolder.append({pid, handedOut});
            } else if (*process) {
                unseen.append({pid, 0});
            }
        };
        for (const auto& [pid, handedOut] : std::as_const(m_pidsWithoutFolder)) {
            if (lookedAt - handedOut < pidWithoutFolderKept) {
                look(pid, handedOut);
            }
        }
        for (pid_t pid = *previousLastPid + 1; pid <= *m_lastPid; ++pid) {
            look(pid, lookedAt);
        }
        m_pidsWithoutFolder =
            withoutFolder.mid(std::max<qsizetype>(withoutFolder.size() - maximumPidsWithoutFolder, 0));
    }

    // Each identifier whose count changed in this tick, with whether it was running before.
    Changes changed;
    const double now = unseen.isEmpty() && unsettled.isEmpty() ? -1.0 : m_folders.uptime();
    for (const auto& [pid, inode] : unseen) {
        // One read tells the start time and, for a new process, its parent.
        const QByteArray stat = m_folders.stat(pid);
        const auto started = ProcessIdentifier::startTimeFromStat(stat);
        if (!started) {
            continue; // Gone already, or not a process folder.
        }
        const auto known = m_processes.find(pid);
        if (known != m_processes.end() && known->startTime == *started) {
            known->inode = inode;
            known->generation = m_generation;
            if (!known->settled) {
                unsettled.append(pid);
            }
            continue;
        }
        Process process;
        process.startTime = *started;
        process.inode = inode;
        process.generation = m_generation;
        if (known != m_processes.end()) {
            // The PID now belongs to another process: the old one ended.
            count(known->identifier, -1, known->parent, changed);
        }
        if (m_folders.owner(pid) == m_user) {
            process.mine = true;
            process.parent = ProcessIdentifier::parentFromStat(stat);
            inspect(pid, process, now);
            process.awaitingExec = isAwaitingExec(process);
            count(process.identifier, +1, process.parent, changed);
        }
        m_processes.insert(pid, process);
    }
    for (const pid_t pid : unsettled) {
        Process& process = m_processes[pid];
        // Until it runs another program, a young process is what it was a tick ago.
        if (m_folders.executable(pid) == process.executable) {
            process.settled = isSettled(process, now);
        } else {
            inspectAgain(pid, process, now, changed);
        }
    }
    m_hasUnsettled = false;
    m_parentsOfAwaitedForks.clear();
    for (const Process& process : std::as_const(m_processes)) {
        m_hasUnsettled = m_hasUnsettled || !process.settled;
        // One already running a watched application has run the exec that matters.
        if (!process.settled && process.awaitingExec &&
            !(process.identifier && m_watchedApplications.contains(*process.identifier))) {
            m_parentsOfAwaitedForks.insert(process.parent);
        }
    }
    for (auto process = m_processes.begin(); process != m_processes.end();) {
        if (process->generation != m_generation) {
            count(process->identifier, -1, process->parent, changed);
            process = m_processes.erase(process);
        } else {
            ++process;
        }
    }

    if (report) {
        this->report(changed);
    }
}

void ProcessApplicationEventSource::report(const Changes& changed) {
    // A quit waits while the ended process's parent has a young fork that may run the application.
    const InstanceCount::Report told =
        m_instances.settle(changed, [this](pid_t parent) { return mayStillRunWatchedProgram(parent); });
    // The looks that follow an open go on while a fork is awaited; they tell a held quit then.
    if (m_instances.hasHeldTerminations() && !m_followUp.isActive()) {
        m_followUp.start(followUpPace);
    }
    for (const QString& identifier : told.terminated) {
        Q_EMIT applicationTerminated(RunningApplication{identifier});
    }
    for (const QString& identifier : told.launched) {
        Q_EMIT applicationLaunched(RunningApplication{identifier});
    }
}

bool ProcessApplicationEventSource::mayStillRunWatchedProgram(std::optional<pid_t> parent) const {
    return isWatching() && m_sinceOpen.isValid() && m_sinceOpen.elapsed() < settlingSeconds * 1000 &&
           (parent ? m_parentsOfAwaitedForks.contains(*parent) : !m_parentsOfAwaitedForks.isEmpty());
}

void ProcessApplicationEventSource::armWatches() {
    QSet<QByteArray> programs;
    QSet<QByteArray> instanceFolders;
    for (const QString& id : std::as_const(m_watchedApplications)) {
        for (const QString& program : m_identifier.programsOf(id).value_or(QList<QString>{})) {
            programs.insert(QFile::encodeName(program));
        }
        if (m_identifier.isSandboxed(id) && !m_identifier.sandboxInstanceFolder().isEmpty()) {
            instanceFolders.insert(QFile::encodeName(m_identifier.sandboxInstanceFolder()));
        }
    }
    m_watches->watch(programs, instanceFolders);
    updateApplicationWatches();
}

ApplicationWatch ProcessApplicationEventSource::watchOf(const QString& id) {
    if (!m_fallbackReason.isEmpty()) {
        return {id, false, m_fallbackReason};
    }
    const QHash<QByteArray, QString>& failures = m_watches->failures();
    if (m_identifier.isSandboxed(id)) {
        const QByteArray folder = QFile::encodeName(m_identifier.sandboxInstanceFolder());
        if (folder.isEmpty()) {
            return {id, false, localized("the folder where sandboxed instances start is unknown")};
        }
        if (failures.contains(folder)) {
            return {id, false, QFile::decodeName(folder) + QStringLiteral(": ") + failures.value(folder)};
        }
        return {id, true, localized("the folder where its sandboxed instances start is watched")};
    }
    const auto programs = m_identifier.programsOf(id);
    if (!programs) {
        return {id, false, localized("no desktop entry is installed for it")};
    }
    if (programs->isEmpty()) {
        return {id, false, localized("its desktop entry starts it through another program")};
    }
    for (const QString& program : *programs) {
        if (const auto failure = failures.constFind(QFile::encodeName(program)); failure != failures.cend()) {
            return {id, false, program + QStringLiteral(": ") + *failure};
        }
    }
    return {id, true, localized("its programs are watched")};
}

void ProcessApplicationEventSource::updateApplicationWatches() {
    QList<QString> ids(m_watchedApplications.cbegin(), m_watchedApplications.cend());
    std::sort(ids.begin(), ids.end());
    QList<ApplicationWatch> watches;
    for (const QString& id : std::as_const(ids)) {
        watches.append(watchOf(id));
    }
    m_everyWatchedApplicationArmed =
        std::all_of(watches.cbegin(), watches.cend(),
                    [](const ApplicationWatch& watch) { return watch.followedByEvents; });
    updatePollInterval();
    if (watches != m_applicationWatches) {
        m_applicationWatches = watches;
        Q_EMIT applicationWatchesChanged();
    }
}

void ProcessApplicationEventSource::watchedActivity(int opens, int closes) {
    // A program that was read, not run, is closed again at once; one that runs stays open while it
    // does. So the looks go on only while an open is not matched by a close.
    m_unclosedOpens =
        std::max((opens > 0 && !m_followUp.isActive() ? 0 : m_unclosedOpens) + opens - closes, 0);
    if (opens > 0) {
        m_openExplained = false;
        tick(false);
        m_followUpStep = 0;
        m_sinceOpen.start();
        m_followUp.start(followUpDelays[0]);
    }
}

void ProcessApplicationEventSource::followUp() {
    tick(false);
    if (++m_followUpStep < std::size(followUpDelays)) {
        m_followUp.start(followUpDelays[m_followUpStep]);
    } else if (m_unclosedOpens > 0 && mayStillRunWatchedProgram()) {
        m_followUp.start(followUpPace);
    } else {
        m_followUp.stop();
        // A program that was only read is closed again; one an older process runs now stays open.
        if (!std::exchange(m_openExplained, true) && m_unclosedOpens > 0) {
            inspectSettled();
        }
        // The second may have run out since the tick: nothing tells a held quit later.
        report({});
    }
}

void ProcessApplicationEventSource::inspectSettled() {
    // Only young processes are looked at again, but an older one may run exec too, as a wrapper
    // that ends by running the editor does. An open of a watched program that no new process
    // explains may be that, so the older processes' programs are read once.
    Changes changed;
    const double now = m_folders.uptime();
    for (auto process = m_processes.begin(); process != m_processes.end(); ++process) {
        if (!process->settled || process->ended || process->executable.isEmpty() ||
            m_folders.executable(process.key()) == process->executable ||
            m_folders.startTime(process.key()) != process->startTime) {
            continue;
        }
        inspectAgain(process.key(), *process, now, changed);
    }
    report(changed);
}

void ProcessApplicationEventSource::updateProcessHandles() {
    if (!isWatching()) {
        return;
    }
    QList<pid_t> stale;
    for (const auto& [pid, handle] : m_processHandles) {
        const auto process = m_processes.constFind(pid);
        if (process == m_processes.cend() || process->startTime != handle.startTime || !process->identifier ||
            !m_watchedApplications.contains(*process->identifier)) {
            stale.append(pid);
        }
    }
    for (const pid_t pid : stale) {
        closeProcessHandle(pid);
    }
    QList<pid_t> ended;
    for (auto process = m_processes.cbegin(); process != m_processes.cend(); ++process) {
        if (!process->identifier || !m_watchedApplications.contains(*process->identifier) ||
            m_processHandles.count(process.key()) > 0) {
            continue;
        }
        const pid_t pid = process.key();
        const int descriptor = m_kernel->openProcessHandle(pid);
        if (descriptor < 0 && errno != ESRCH) {
            fallBack(localized("process handles are unavailable (") +
                     QString::fromLocal8Bit(std::strerror(errno)) + u')');
            return;
        }
        // The PID may have been handed to another process meanwhile; then ours is gone.
        if (descriptor < 0 || m_folders.startTime(pid) != process->startTime) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            ended.append(pid);
            continue;
        }
        auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        const quint64 started = process->startTime;
        connect(notifier, &QSocketNotifier::activated, this, [this, pid, started] {
            if (const auto handle = m_processHandles.find(pid);
                handle != m_processHandles.end() && handle->second.startTime == started) {
                processEnded(pid);
            }
        });
        m_processHandles.emplace(pid, ProcessHandle{started, descriptor, notifier});
    }
    for (const pid_t pid : ended) {
        processEnded(pid);
    }
}

void ProcessApplicationEventSource::processEnded(pid_t pid) {
    closeProcessHandle(pid);
    // Another instance may have started just before this one ended; once it is in the table, the
    // application keeps running for its observers instead of quitting and launching again.
    tick(false);
    const auto process = m_processes.find(pid);
    if (process == m_processes.end() || process->ended) {
        return;
    }
    // Its folder may stay until the parent collects it; until then it is nobody.
    Changes changed;
    count(process->identifier, -1, process->parent, changed);
    process->identifier.reset();
    process->ended = true;
    process->settled = true;
    report(changed);
}

void ProcessApplicationEventSource::closeProcessHandle(pid_t pid) {
    const auto handle = m_processHandles.find(pid);
    if (handle == m_processHandles.end()) {
        return;
    }
    // The notifier may be the one whose signal is being handled right now.
    handle->second.notifier->setEnabled(false);
    handle->second.notifier->deleteLater();
    ::close(handle->second.descriptor);
    m_processHandles.erase(handle);
}

void ProcessApplicationEventSource::fallBack(const QString& reason) {
    if (!m_fallbackReason.isEmpty()) {
        return;
    }
    m_fallbackReason = reason;
    m_followUp.stop();
    while (!m_processHandles.empty()) {
        closeProcessHandle(m_processHandles.begin()->first);
    }
    // The watches may be what is reporting right now.
    m_watches->disconnect(this);
    m_watches->deleteLater();
    m_watches = nullptr;
    Q_EMIT noticed(
        localizedFormat("Application launches and quits are checked every %lld ms, not watched: %@.",
                        {static_cast<qint64>(m_intervals.polling.count()), reason}));
    updateApplicationWatches();
}

void ProcessApplicationEventSource::updatePollInterval() {
    const auto interval =
        isWatching() && m_everyWatchedApplicationArmed ? m_intervals.watching : m_intervals.polling;
    if (m_timer.intervalAsDuration() != interval) {
        m_timer.setInterval(interval);
    }
}

} // namespace tarnwell
