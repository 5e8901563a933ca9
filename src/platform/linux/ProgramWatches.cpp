#include "platform/linux/ProgramWatches.h"

#include "core/support/Localization.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace tarnwell {

namespace {

QByteArray folderOf(const QByteArray& path) {
    return path.left(path.lastIndexOf('/'));
}

QString failureReason(int error) {
    const QString cause = QString::fromLocal8Bit(std::strerror(error));
    if (error == ENOSPC || error == ENOMEM) {
        return localized("the limit of file watches is reached (") + cause + u')';
    }
    return localized("it cannot be watched (") + cause + u')';
}

// Drops the watches whose path is not wanted any more.
void keepOnly(KernelWatching& kernel, int instance, QHash<int, QByteArray>& watches,
              const QSet<QByteArray>& wanted) {
    for (auto watch = watches.begin(); watch != watches.end();) {
        if (wanted.contains(*watch)) {
            ++watch;
            continue;
        }
        kernel.removeFileWatch(instance, watch.key());
        watch = watches.erase(watch);
    }
}

} // namespace

ProgramWatches::ProgramWatches(std::shared_ptr<KernelWatching> kernel, QObject* parent)
    : QObject(parent)
    , m_kernel(std::move(kernel)) {
}

ProgramWatches::~ProgramWatches() {
    if (m_instance >= 0) {
        delete m_notifier;
        ::close(m_instance);
    }
}

bool ProgramWatches::open() {
    m_instance = m_kernel->openFileWatches();
    if (m_instance < 0) {
        return false;
    }
    m_notifier = new QSocketNotifier(m_instance, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ProgramWatches::read);
    return true;
}

void ProgramWatches::watch(const QSet<QByteArray>& programs, const QSet<QByteArray>& instanceFolders) {
    m_programs = programs;
    m_instanceFolders = instanceFolders;
    QSet<QByteArray> folders;
    for (const QByteArray& program : programs) {
        folders.insert(folderOf(program));
    }
    keepOnly(*m_kernel, m_instance, m_programWatches, programs);
    keepOnly(*m_kernel, m_instance, m_folderWatches, folders);
    keepOnly(*m_kernel, m_instance, m_instanceFolderWatches, instanceFolders);
    QSet<QByteArray> instances;
    for (const QByteArray& instance : std::as_const(m_instanceWatches)) {
        if (instanceFolders.contains(folderOf(instance))) {
            instances.insert(instance);
        }
    }
    keepOnly(*m_kernel, m_instance, m_instanceWatches, instances);
    for (auto failure = m_failures.begin(); failure != m_failures.end();) {
        failure = programs.contains(failure.key()) || instanceFolders.contains(failure.key())
                      ? std::next(failure)
                      : m_failures.erase(failure);
    }
    for (const QByteArray& program : programs) {
        addProgramWatch(program);
    }
    for (const QByteArray& folder : instanceFolders) {
        addInstanceFolderWatch(folder);
    }
}

void ProgramWatches::retry() {
    const QList<QByteArray> failed = m_failures.keys();
    for (const QByteArray& path : failed) {
        if (m_programs.contains(path)) {
            addProgramWatch(path);
        } else {
            addInstanceFolderWatch(path);
        }
    }
}

void ProgramWatches::addProgramWatch(const QByteArray& program) {
    if (m_instance < 0) {
        return;
    }
    // Replacing or reinstalling a program puts a new file at the path; its folder says when. Without
    // that watch, a replaced program is found again by retry().
    const QByteArray folder = folderOf(program);
    if (!m_folderWatches.values().contains(folder)) {
        if (const int watch =
                m_kernel->addFileWatch(m_instance, folder, IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
            watch >= 0) {
            m_folderWatches.insert(watch, folder);
        }
    }
    if (m_programWatches.values().contains(program)) {
        return;
    }
    addWatch(m_programWatches, program, IN_OPEN | IN_CLOSE_NOWRITE);
}

void ProgramWatches::addInstanceFolderWatch(const QByteArray& folder) {
    if (m_instance < 0 || m_instanceFolderWatches.values().contains(folder)) {
        return;
    }
    addWatch(m_instanceFolderWatches, folder, IN_CREATE | IN_ONLYDIR);
}

void ProgramWatches::addWatch(QHash<int, QByteArray>& watches, const QByteArray& path, std::uint32_t events) {
    const int watch = m_kernel->addFileWatch(m_instance, path, events);
    if (watch >= 0) {
        watches.insert(watch, path);
        m_failures.remove(path);
        return;
    }
    const QString reason = failureReason(errno);
    if (m_failures.value(path) != reason) {
        m_failures.insert(path, reason);
        Q_EMIT failed(path, reason);
    }
}

void ProgramWatches::read() {
    alignas(inotify_event) char buffer[4096];
    int opens = 0;
    int closes = 0;
    while (true) {
        const ssize_t length = ::read(m_instance, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const QByteArray name = event->len > 0 ? QByteArray(event->name) : QByteArray();
            // Events were lost: one of them may have been a start.
            opens += (event->mask & IN_Q_OVERFLOW) != 0 ? 1 : 0;
            if (const auto program = m_programWatches.constFind(event->wd);
                program != m_programWatches.cend()) {
                opens += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                closes += (event->mask & IN_CLOSE_NOWRITE) != 0 ? 1 : 0;
                if (event->mask & IN_IGNORED) {
                    const QByteArray path = *program;
                    m_programWatches.erase(program);
                    addProgramWatch(path);
                }
            } else if (const auto folder = m_folderWatches.constFind(event->wd);
                       folder != m_folderWatches.cend()) {
                if (event->mask & IN_IGNORED) {
                    m_folderWatches.erase(folder);
                } else if (m_programs.contains(*folder + '/' + name)) {
                    addProgramWatch(*folder + '/' + name);
                }
            } else if (const auto instances = m_instanceFolderWatches.constFind(event->wd);
                       instances != m_instanceFolderWatches.cend()) {
                if (event->mask & IN_IGNORED) {
                    const QByteArray path = *instances;
                    m_instanceFolderWatches.erase(instances);
                    addInstanceFolderWatch(path);
                } else if (!name.isEmpty()) {
                    // A new instance: it announces its sandbox once that runs, by writing files here.
                    const QByteArray instance = *instances + '/' + name;
                    if (const int watch =
                            m_kernel->addFileWatch(m_instance, instance, IN_CLOSE_WRITE | IN_MOVED_TO);
                        watch >= 0) {
                        m_instanceWatches.insert(watch, instance);
                    }
                    ++opens;
                }
            } else if (const auto instance = m_instanceWatches.constFind(event->wd);
                       instance != m_instanceWatches.cend()) {
                if (event->mask & IN_IGNORED) {
                    m_instanceWatches.erase(instance);
                } else {
                    ++opens;
                }
            }
        }
    }
    if (opens > 0 || closes > 0) {
        Q_EMIT activity(opens, closes);
    }
}

} // namespace tarnwell
