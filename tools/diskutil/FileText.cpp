#include "diskutil/FileText.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarnwell {

std::optional<std::string> FileText::read(const std::string& path, bool followLink) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(count));
    }
    ::close(fd);
    return text;
}

std::string FileText::attribute(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    char buffer[4096];
    ssize_t count = -1;
    while (count < 0) {
        count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno != EINTR) {
            count = 0;
        }
    }
    ::close(fd);
    std::string text(buffer, static_cast<size_t>(count));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

std::string FileText::link(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool FileText::exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::string FileText::canonicalPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string FileText::systemError() {
    return std::strerror(errno);
}

} // namespace tarnwell
