#include "diskutil/UdevRecord.h"

#include "diskutil/Utf8Text.h"

#include <utility>

namespace tarnwell {

namespace {

int hexDigit(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

std::string decodeHexEscapes(std::string_view value) {
    std::string decoded;
    decoded.reserve(value.size());
    for (size_t index = 0; index < value.size(); ++index) {
        if (value.substr(index, 2) == "\\x" && index + 3 < value.size() && hexDigit(value[index + 2]) >= 0 &&
            hexDigit(value[index + 3]) >= 0) {
            decoded += static_cast<char>(hexDigit(value[index + 2]) * 16 + hexDigit(value[index + 3]));
            index += 3;
            continue;
        }
        decoded += value[index];
    }
    return decoded;
}

} // namespace

FilesystemIdentity UdevRecord::parse(std::string_view record) {
    FilesystemIdentity identity;
    const std::pair<std::string_view, std::optional<std::string> FilesystemIdentity::*> fields[] = {
        {"ID_FS_TYPE", &FilesystemIdentity::type},
        {"ID_FS_VERSION", &FilesystemIdentity::version},
        {"ID_FS_LABEL_ENC", &FilesystemIdentity::label},
        {"ID_FS_UUID_ENC", &FilesystemIdentity::uuid},
        {"ID_PART_ENTRY_TYPE", &FilesystemIdentity::partitionType},
        {"ID_PART_TABLE_TYPE", &FilesystemIdentity::partitionTableType},
    };
    for (const auto& [key, value] : properties(record, "E:")) {
        const std::string text = Utf8Text::valid(decodeHexEscapes(value));
        for (const auto& [name, field] : fields) {
            if (key == name && !text.empty()) {
                identity.*field = text;
            }
        }
    }
    return identity;
}

std::vector<std::pair<std::string_view, std::string_view>> UdevRecord::properties(std::string_view text,
                                                                                  std::string_view prefix) {
    std::vector<std::pair<std::string_view, std::string_view>> found;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end;
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (line.starts_with(prefix) && equals != std::string_view::npos && equals > prefix.size()) {
            found.emplace_back(line.substr(prefix.size(), equals - prefix.size()), line.substr(equals + 1));
        }
    }
    return found;
}

} // namespace tarnwell
