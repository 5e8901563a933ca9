#pragma once

#include "diskutil/FilesystemIdentity.h"

#include <string_view>
#include <utility>
#include <vector>

namespace tarnwell {

// One device's record in the udev database (/run/udev/data/bMAJOR:MINOR): the file-system and
// partition properties udev's own probe stored for it.
class UdevRecord {
public:
    // Lines other than the "E:" properties the tool uses are passed over. Labels and UUIDs come
    // from their encoded forms, whose \xNN escapes keep every byte, and are then made valid UTF-8.
    static FilesystemIdentity parse(std::string_view record);

    // The KEY=VALUE lines that start with PREFIX, in order, without the prefix: "E:" for the
    // properties of a udev record, "" for a sysfs uevent file. Other lines are passed over.
    static std::vector<std::pair<std::string_view, std::string_view>> properties(std::string_view text,
                                                                                 std::string_view prefix);
};

} // namespace tarnwell
