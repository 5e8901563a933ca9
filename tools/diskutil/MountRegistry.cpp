#include "diskutil/MountRegistry.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"
#include "diskutil/Utf8Text.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwell {

namespace {

struct Entry {
    std::string identity;
    std::string directory;

    bool operator==(const Entry&) const = default;
};

// What a folder looks like now: gone, hidden under a mount, or there with this identity.
struct FolderState {
    enum class Kind { Gone, Covered, Present };
    Kind kind = Kind::Gone;
    std::string identity;
};

// Device, inode, generation and change time. A folder removed and made again under the same name
// often gets the same inode back, and within one clock tick the same time, but a new generation
// where the file system keeps one (ext4, btrfs, XFS); tmpfs hands out no inode number twice.
// Anything added to the folder changes the time.
FolderState inspect(const std::string& directory) {
    struct statx status {};
    if (::statx(AT_FDCWD, directory.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS,
                &status) != 0) {
        // Only a folder that is surely gone loses its line.
        return {errno == ENOENT || errno == ENOTDIR ? FolderState::Kind::Gone : FolderState::Kind::Covered,
                {}};
    }
    if ((status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
        (status.stx_attributes & STATX_ATTR_MOUNT_ROOT)) {
        return {FolderState::Kind::Covered, {}};
    }
    long generation = 0;
    if (const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); fd >= 0) {
        ::ioctl(fd, FS_IOC_GETVERSION, &generation);
        ::close(fd);
    }
    return {FolderState::Kind::Present,
            std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor) + ":" +
                std::to_string(status.stx_ino) + ":" + std::to_string(generation) + ":" +
                std::to_string(status.stx_ctime.tv_sec) + "." + std::to_string(status.stx_ctime.tv_nsec)};
}

bool isMade(const Entry& entry) {
    const FolderState state = inspect(entry.directory);
    return state.kind == FolderState::Kind::Present && state.identity == entry.identity;
}

// A folder hidden under a mount cannot be told apart from another; its line waits for the unmount.
bool mayStillBeMade(const Entry& entry) {
    const FolderState state = inspect(entry.directory);
    return state.kind == FolderState::Kind::Covered ||
           (state.kind == FolderState::Kind::Present && state.identity == entry.identity);
}

// Lines that are not "IDENTITY /PATH", such as those of older versions, describe no folder that
// can be recognised, and are dropped.
std::vector<Entry> readEntries(const std::string& path) {
    std::vector<Entry> entries;
    const std::string text = FileText::read(path, false).value_or(std::string());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        const size_t space = line.find(' ');
        if (space != std::string::npos && space > 0 && line.compare(space + 1, 1, "/") == 0) {
            entries.push_back({line.substr(0, space), line.substr(space + 1)});
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
void writeEntries(const std::string& path, const std::vector<Entry>& entries) {
    std::string text;
    for (const Entry& entry : entries) {
        text += entry.identity + ' ' + entry.directory + '\n';
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
    const FolderState made = inspect(directory);
    if (made.kind != FolderState::Kind::Present) {
        throw ToolError("Could not record " + Utf8Text::valid(directory) + ": it is no folder of its own");
    }
    const RegistryLock lock(m_path);
    std::vector<Entry> entries = readEntries(m_path);
    std::erase_if(entries, [&directory](const Entry& entry) {
        return entry.directory == directory || !mayStillBeMade(entry);
    });
    entries.push_back({made.identity, directory});
    writeEntries(m_path, entries);
}

bool MountRegistry::release(const std::string& directory) {
    const RegistryLock lock(m_path);
    const std::vector<Entry> entries = readEntries(m_path);
    const auto own = std::find_if(entries.begin(), entries.end(),
                                  [&directory](const Entry& entry) { return entry.directory == directory; });
    bool removed = false;
    std::string failure;
    if (own != entries.end() && isMade(*own)) {
        removed = ::rmdir(directory.c_str()) == 0;
        failure = removed ? std::string() : FileText::systemError();
    }
    std::vector<Entry> kept = entries;
    std::erase_if(kept, [](const Entry& entry) { return !mayStillBeMade(entry); });
    if (kept != entries) {
        writeEntries(m_path, kept);
    }
    if (!failure.empty()) {
        throw ToolError("Could not remove " + Utf8Text::valid(directory) + ": " + failure);
    }
    return removed;
}

} // namespace tarnwell
