#include "diskutil/MountPointNaming.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"
#include "diskutil/Utf8Text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

// Enough for any sane number of volumes with one label; more means something else is wrong.
constexpr int maximumSuffix = 1000;

} // namespace

std::string MountPointNaming::directoryName(const std::string& label) {
    std::string name;
    size_t characters = 0;
    Utf8Text::forEach(Utf8Text::valid(label), [&name, &characters](char32_t code, std::string_view sequence) {
        // No shell ever sees the name, so quotes and the like stay; a line break in a folder name
        // would only confuse every line-based listing of the mounts.
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        name += code == '/' || control ? std::string_view("_") : sequence;
        ++characters;
    });
    if (name.empty()) {
        return "Untitled";
    }
    if (name == "." || name == "..") {
        return std::string(characters, '_');
    }
    return name;
}

std::string MountPointNaming::createDirectory(const std::string& root, const std::string& label) {
    if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
        throw ToolError("Could not create " + root + ": " + FileText::systemError());
    }
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (rootFd < 0) {
        throw ToolError("Could not open " + root + ": " + FileText::systemError());
    }
    struct stat status {};
    if (::fstat(rootFd, &status) != 0 || status.st_uid != ::geteuid() ||
        (status.st_mode & (S_IWGRP | S_IWOTH))) {
        ::close(rootFd);
        throw ToolError("Will not mount in " + root +
                        ": it must be owned by root and writable by no one else");
    }
    const std::string name = directoryName(label);
    for (int suffix = 0; suffix <= maximumSuffix; ++suffix) {
        const std::string candidate = suffix == 0 ? name : name + std::to_string(suffix);
        if (::mkdirat(rootFd, candidate.c_str(), 0755) == 0) {
            ::close(rootFd);
            return root + "/" + candidate;
        }
        if (errno != EEXIST) {
            const std::string error = FileText::systemError();
            ::close(rootFd);
            throw ToolError("Could not create " + root + "/" + candidate + ": " + error);
        }
    }
    ::close(rootFd);
    throw ToolError("Could not find a free directory for " + label + " in " + root);
}

} // namespace tarnwell
