#include "diskutil/MountRegistry.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwell {

namespace {

std::vector<std::string> readEntries(const std::string& path) {
    std::vector<std::string> entries;
    const std::string text = FileText::read(path).value_or(std::string());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        if (end > start) {
            entries.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return entries;
}

void makeParentDirectory(const std::string& path) {
    const std::string parent = path.substr(0, path.rfind('/'));
    for (size_t slash = parent.find('/', 1);; slash = parent.find('/', slash + 1)) {
        const std::string step = parent.substr(0, slash);
        if (!step.empty() && ::mkdir(step.c_str(), 0755) != 0 && errno != EEXIST) {
            throw ToolError("Could not create the directory of " + path);
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

// Writes the whole record to a new file of root's own and puts it in place in one rename, so a
// reader sees the old record or the new one, never a part.
void writeEntries(const std::string& path, const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        text += entry + '\n';
    }
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        throw ToolError("Could not write " + path + ": " + FileText::systemError());
    }
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            const std::string error = FileText::systemError();
            ::close(fd);
            ::unlink(temporary.c_str());
            throw ToolError("Could not write " + path + ": " + error);
        }
        written += static_cast<size_t>(count);
    }
    // No fsync: the record sits on a tmpfs with the mounts it describes, and neither survives a
    // reboot; the rename alone keeps a reader from seeing half a record.
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string error = FileText::systemError();
        ::unlink(temporary.c_str());
        throw ToolError("Could not write " + path + ": " + error);
    }
}

// Holds an exclusive lock beside the record for one read-modify-write. The record itself is
// replaced by rename on every write, so the lock lives in a file of its own that is never replaced.
class RegistryLock {
public:
    explicit RegistryLock(const std::string& path) {
        makeParentDirectory(path);
        const std::string lockPath = path + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            throw ToolError("Could not lock " + path + ": " + FileText::systemError());
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                const std::string error = FileText::systemError();
                ::close(m_fd);
                throw ToolError("Could not lock " + path + ": " + error);
            }
        }
    }
    ~RegistryLock() { ::close(m_fd); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace

MountRegistry::MountRegistry(std::string path)
    : m_path(std::move(path)) {
}

void MountRegistry::add(const std::string& directory) {
    const RegistryLock lock(m_path);
    std::vector<std::string> entries = readEntries(m_path);
    if (std::find(entries.begin(), entries.end(), directory) == entries.end()) {
        entries.push_back(directory);
        writeEntries(m_path, entries);
    }
}

bool MountRegistry::take(const std::string& directory) {
    const RegistryLock lock(m_path);
    std::vector<std::string> entries = readEntries(m_path);
    const auto removed = std::remove(entries.begin(), entries.end(), directory);
    if (removed == entries.end()) {
        return false;
    }
    entries.erase(removed, entries.end());
    writeEntries(m_path, entries);
    return true;
}

} // namespace tarnwell
