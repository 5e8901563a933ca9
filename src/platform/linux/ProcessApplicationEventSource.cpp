#include "platform/linux/ProcessApplicationEventSource.h"

#include <QFile>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwell {

namespace {

constexpr double settlingSeconds = 1.0;

std::optional<pid_t> pidOf(const char* name) {
    pid_t pid = 0;
    for (const char* character = name; *character; ++character) {
        if (*character < '0' || *character > '9') {
            return std::nullopt;
        }
        pid = pid * 10 + (*character - '0');
    }
    return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

QByteArray readSmallFile(const QByteArray& path) {
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return {};
    }
    QByteArray content(1024, Qt::Uninitialized);
    const ssize_t length = ::read(descriptor, content.data(), static_cast<size_t>(content.size()));
    ::close(descriptor);
    content.truncate(length > 0 ? length : 0);
    return content;
}

} // namespace

ProcessApplicationEventSource::ProcessApplicationEventSource(ProcessIdentifier identifier, uid_t user,
                                                             QObject* parent)
    : ApplicationEventSource(parent)
    , m_identifier(std::move(identifier))
    , m_user(user)
    , m_procRoot(QFile::encodeName(m_identifier.procRoot()))
    , m_ticksPerSecond(std::max(::sysconf(_SC_CLK_TCK), 1L)) {
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &ProcessApplicationEventSource::poll);
}

QList<RunningApplication> ProcessApplicationEventSource::runningApplications() const {
    if (!m_started) {
        // The table is a cache of what /proc says; refreshing it changes nothing observable.
        const_cast<ProcessApplicationEventSource*>(this)->scan(false, processActivity(), true);
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
    scan(false, processActivity(), true);
    m_started = true;
    m_timer.start();
}

void ProcessApplicationEventSource::poll() {
    // Listing several hundred process folders costs about a millisecond. The load average tells
    // in one read the thread count and the last PID handed out: when neither moved, nothing
    // started or ended, and otherwise the new processes can only hold the PIDs handed out since
    // the last tick. So a tick lists the folders only now and then, as a safety net, or when the
    // PIDs wrapped around or too many were handed out to follow them one by one.
    const Activity activity = processActivity();
    const bool follow = activity.lastPid && m_lastPid && *activity.lastPid >= *m_lastPid &&
                        *activity.lastPid - *m_lastPid <= maximumFollowedPids &&
                        ++m_ticksSinceListing < ticksBetweenListings;
    m_lastPollListed = !follow;
    if (!follow) {
        scan(m_started, activity, true);
    } else if (activity.counters != m_lastActivity || m_hasUnsettled) {
        scan(m_started, activity, false);
    }
}

ProcessApplicationEventSource::Activity ProcessApplicationEventSource::processActivity() const {
    // "0.52 0.58 0.59 2/612 48213": running/total threads, then the last PID.
    const QByteArray loadAverage = readSmallFile(m_procRoot + "/loadavg").trimmed();
    const qsizetype slash = loadAverage.lastIndexOf('/');
    if (slash < 0) {
        return {};
    }
    Activity activity;
    activity.counters = loadAverage.sliced(slash + 1);
    bool valid = false;
    const pid_t lastPid = activity.counters.sliced(activity.counters.indexOf(' ') + 1).toInt(&valid);
    if (valid && activity.counters.contains(' ')) {
        activity.lastPid = lastPid;
    }
    return activity;
}

bool ProcessApplicationEventSource::isProcess(pid_t pid) const {
    // A thread's PID opens a folder too, though the listing leaves it out.
    const QByteArray status = readSmallFile(m_procRoot + '/' + QByteArray::number(pid) + "/status");
    const qsizetype field = status.indexOf("\nTgid:");
    if (field < 0) {
        return false;
    }
    const qsizetype end = status.indexOf('\n', field + 1);
    return status.sliced(field + 6, (end < 0 ? status.size() : end) - field - 6).trimmed() ==
           QByteArray::number(pid);
}

std::optional<quint64> ProcessApplicationEventSource::startTime(pid_t pid) const {
    return ProcessIdentifier::startTimeFromStat(
        readSmallFile(m_procRoot + '/' + QByteArray::number(pid) + "/stat"));
}

double ProcessApplicationEventSource::uptime() const {
    const QByteArray content = readSmallFile(m_procRoot + "/uptime");
    bool valid = false;
    const double seconds = content.split(' ').value(0).toDouble(&valid);
    // Without a clock every process counts as settled.
    return valid ? seconds : -1.0;
}

QByteArray ProcessApplicationEventSource::executable(pid_t pid) const {
    const QByteArray link = m_procRoot + '/' + QByteArray::number(pid) + "/exe";
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

bool ProcessApplicationEventSource::isSettled(const Process& process, double now) const {
    const double started = static_cast<double>(process.startTime) / static_cast<double>(m_ticksPerSecond);
    return now < 0 || now - started >= settlingSeconds;
}

void ProcessApplicationEventSource::inspect(pid_t pid, Process& process, double now) {
    process.executable = executable(pid);
    process.identifier = m_identifier.identify(pid);
    process.settled = isSettled(process, now);
}

void ProcessApplicationEventSource::count(const std::optional<QString>& identifier, int change,
                                          QList<std::pair<QString, bool>>& changed) {
    if (!identifier) {
        return;
    }
    const auto instances = m_instances.find(*identifier);
    const bool wasRunning = instances != m_instances.end();
    if (std::none_of(changed.begin(), changed.end(),
                     [&](const std::pair<QString, bool>& entry) { return entry.first == *identifier; })) {
        changed.append({*identifier, wasRunning});
    }
    const int remaining = (wasRunning ? *instances : 0) + change;
    if (remaining > 0) {
        m_instances.insert(*identifier, remaining);
    } else if (wasRunning) {
        m_instances.erase(instances);
    }
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
        if (DIR* directory = ::opendir(m_procRoot.constData())) {
            while (const dirent* child = ::readdir(directory)) {
                const auto pid = pidOf(child->d_name);
                if (!pid) {
                    continue;
                }
                const auto known = m_processes.find(*pid);
                if (known != m_processes.end() && known->inode == child->d_ino) {
                    known->generation = m_generation;
                    if (!known->settled) {
                        unsettled.append(*pid);
                    }
                } else {
                    unseen.append({*pid, child->d_ino});
                }
            }
            ::closedir(directory);
        }
    } else {
        // Only applications and processes that may still become one need to be checked; the
        // others leave the table at the next listing.
        for (auto process = m_processes.begin(); process != m_processes.end(); ++process) {
            process->generation = m_generation;
            if (process->identifier || !process->settled) {
                if (startTime(process.key()) != process->startTime) {
                    process->generation = 0;
                } else if (!process->settled) {
                    unsettled.append(process.key());
                }
            }
        }
        for (pid_t pid = *previousLastPid + 1; pid <= *m_lastPid; ++pid) {
            if (isProcess(pid)) {
                unseen.append({pid, 0});
            }
        }
    }

    // Each identifier whose count changed in this tick, with whether it was running before.
    QList<std::pair<QString, bool>> changed;
    const double now = unseen.isEmpty() && unsettled.isEmpty() ? -1.0 : uptime();
    if (!unseen.isEmpty()) {
        m_identifier.refreshIfChanged();
    }
    for (const auto& [pid, inode] : unseen) {
        const auto started = startTime(pid);
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
            count(known->identifier, -1, changed);
        }
        struct stat status {};
        const QByteArray folder = m_procRoot + '/' + QByteArray::number(pid);
        if (::stat(folder.constData(), &status) == 0 && status.st_uid == m_user) {
            inspect(pid, process, now);
            count(process.identifier, +1, changed);
        }
        m_processes.insert(pid, process);
    }
    for (const pid_t pid : unsettled) {
        Process& process = m_processes[pid];
        const auto previous = process.identifier;
        // Until it runs another program, a young process is what it was a tick ago.
        if (executable(pid) == process.executable) {
            process.settled = isSettled(process, now);
            continue;
        }
        inspect(pid, process, now);
        if (process.identifier != previous) {
            count(previous, -1, changed);
            count(process.identifier, +1, changed);
        }
    }
    m_hasUnsettled = std::any_of(m_processes.cbegin(), m_processes.cend(),
                                 [](const Process& process) { return !process.settled; });
    for (auto process = m_processes.begin(); process != m_processes.end();) {
        if (process->generation != m_generation) {
            count(process->identifier, -1, changed);
            process = m_processes.erase(process);
        } else {
            ++process;
        }
    }

    if (!report) {
        return;
    }
    // Only the difference between the two ticks is reported, terminations first: an application
    // that ended and came back in between has never stopped for its observers.
    for (const auto& [identifier, wasRunning] : changed) {
        if (wasRunning && !m_instances.contains(identifier)) {
            Q_EMIT applicationTerminated(RunningApplication{identifier});
        }
    }
    for (const auto& [identifier, wasRunning] : changed) {
        if (!wasRunning && m_instances.contains(identifier)) {
            Q_EMIT applicationLaunched(RunningApplication{identifier});
        }
    }
}

} // namespace tarnwell
