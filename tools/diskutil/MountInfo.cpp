#include "diskutil/MountInfo.h"

#include "diskutil/Utf8Text.h"

#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwell {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool isOctal(std::string_view field, size_t at) {
    return at < field.size() && field[at] >= '0' && field[at] <= '7';
}

std::string decodeEscapes(std::string_view field) {
    std::string decoded;
    decoded.reserve(field.size());
    for (size_t index = 0; index < field.size(); ++index) {
        if (field[index] == '\\' && isOctal(field, index + 1) && isOctal(field, index + 2) &&
            isOctal(field, index + 3)) {
            const int value =
                (field[index + 1] - '0') * 64 + (field[index + 2] - '0') * 8 + (field[index + 3] - '0');
            if (value <= 0xFF) {
                decoded += static_cast<char>(value);
                index += 3;
                continue;
            }
        }
        decoded += field[index];
    }
    return decoded;
}

} // namespace

std::vector<MountInfo::Mount> MountInfo::parse(std::string_view text) {
    std::vector<Mount> mounts;
    for (const std::string_view line : split(text, '\n')) {
        // Fields: mount ID, parent ID, major:minor, root, mount point, options, optional fields,
        // "-", file-system type, source, super options.
        const std::vector<std::string_view> fields = split(line, ' ');
        if (fields.size() < 5 || fields[4].empty()) {
            continue;
        }
        std::string_view source;
        for (size_t index = 5; index < fields.size(); ++index) {
            if (fields[index] == "-") {
                source = index + 2 < fields.size() ? fields[index + 2] : std::string_view();
                break;
            }
        }
        std::uint64_t id = 0;
        std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), id);
        std::string path = decodeEscapes(fields[4]);
        mounts.push_back({id, Utf8Text::valid(fields[2]), Utf8Text::valid(decodeEscapes(source)),
                          Utf8Text::valid(path), std::move(path)});
    }
    return mounts;
}

bool MountInfo::isOnTop(const Mount& mount) {
    struct statx status {};
    if (::statx(AT_FDCWD, mount.path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_BASIC_STATS | STATX_MNT_ID, &status) != 0) {
        return false;
    }
    // The device number alone would not tell a second mount of the same file system; kernels
    // before 5.8 report no mount ID, and then the number is all there is.
    const std::string number =
        std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor);
    return number == mount.majorMinor &&
           ((status.stx_mask & STATX_MNT_ID) == 0 || status.stx_mnt_id == mount.id);
}

} // namespace tarnwell
