#include "platform/linux/ProcessFolders.h"

#include "platform/linux/ProcessIdentifier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

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

} // namespace

ProcessFolders::ProcessFolders(QByteArray procRoot)
    : m_procRoot(std::move(procRoot)) {
}

QByteArray ProcessFolders::folder(pid_t pid) const {
    return m_procRoot + '/' + QByteArray::number(pid);
}

QByteArray ProcessFolders::read(const QByteArray& path) const {
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

ProcessFolders::Activity ProcessFolders::activity() const {
    // "0.52 0.58 0.59 2/612 48213": running/total threads, then the last PID.
    const QByteArray loadAverage = read(m_procRoot + "/loadavg").trimmed();
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

QList<std::pair<pid_t, ino_t>> ProcessFolders::list() const {
    QList<std::pair<pid_t, ino_t>> folders;
    if (DIR* directory = ::opendir(m_procRoot.constData())) {
        while (const dirent* child = ::readdir(directory)) {
            if (const auto pid = pidOf(child->d_name)) {
                folders.append({*pid, child->d_ino});
            }
        }
        ::closedir(directory);
    }
    return folders;
}

QByteArray ProcessFolders::stat(pid_t pid) const {
    return read(folder(pid) + "/stat");
}

std::optional<quint64> ProcessFolders::startTime(pid_t pid) const {
    return ProcessIdentifier::startTimeFromStat(stat(pid));
}

QByteArray ProcessFolders::executable(pid_t pid) const {
    const QByteArray link = folder(pid) + "/exe";
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

QByteArray ProcessFolders::commandLine(pid_t pid) const {
    return read(folder(pid) + "/cmdline");
}

std::optional<uid_t> ProcessFolders::owner(pid_t pid) const {
    struct stat status {};
    if (::stat(folder(pid).constData(), &status) != 0) {
        return std::nullopt;
    }
    return status.st_uid;
}

bool ProcessFolders::hasEnded(pid_t pid) const {
    // The state follows the command name, which may hold spaces and parentheses.
    const QByteArray status = stat(pid);
    const qsizetype nameEnd = status.lastIndexOf(')');
    if (nameEnd < 0 || nameEnd + 2 >= status.size()) {
        return true;
    }
    const char state = status.at(nameEnd + 2);
    return state == 'Z' || state == 'X';
}

std::optional<bool> ProcessFolders::isProcess(pid_t pid) const {
    // A thread's PID opens a folder too, though the listing leaves it out.
    const QByteArray status = read(folder(pid) + "/status");
    if (status.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype field = status.indexOf("\nTgid:");
    if (field < 0) {
        return false;
    }
    const qsizetype end = status.indexOf('\n', field + 1);
    return status.sliced(field + 6, (end < 0 ? status.size() : end) - field - 6).trimmed() ==
           QByteArray::number(pid);
}

double ProcessFolders::uptime() const {
    const QByteArray content = read(m_procRoot + "/uptime");
    bool valid = false;
    const double seconds = content.split(' ').value(0).toDouble(&valid);
    return valid ? seconds : -1.0;
}

} // namespace tarnwell
