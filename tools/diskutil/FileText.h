#pragma once

#include <optional>
#include <string>

namespace tarnwell {

// Whole small files: sysfs attributes, udev records, the mount table, /proc entries.
class FileText {
public:
    // The file's bytes, read until its end (proc and sysfs files report no size); nothing when it
    // cannot be opened or read, or is a symbolic link that must not be followed.
    static std::optional<std::string> read(const std::string& path, bool followLink = true);
    // A sysfs attribute without its line feed; "" when it cannot be read. The kernel hands over an
    // attribute, at most a page, in one read.
    static std::string attribute(const std::string& path);
    // Where a symbolic link points, as written in it; "" when PATH is no link.
    static std::string link(const std::string& path);
    static bool exists(const std::string& path);
    // The path with every link resolved; "" when it does not lead anywhere.
    static std::string canonicalPath(const std::string& path);
    // strerror for the current errno.
    static std::string systemError();
};

} // namespace tarnwell
