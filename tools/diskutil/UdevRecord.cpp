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
    const std::pair<std::string_view, std::optional<std::string> FilesystemIdentity::*> properties[] = {
        {"ID_FS_TYPE", &FilesystemIdentity::type},
        {"ID_FS_VERSION", &FilesystemIdentity::version},
        {"ID_FS_LABEL_ENC", &FilesystemIdentity::label},
        {"ID_FS_UUID_ENC", &FilesystemIdentity::uuid},
        {"ID_PART_ENTRY_TYPE", &FilesystemIdentity::partitionType},
        {"ID_PART_TABLE_TYPE", &FilesystemIdentity::partitionTableType},
    };
    size_t start = 0;
    while (start < record.size()) {
        size_t end = record.find('\n', start);
        end = end == std::string_view::npos ? record.size() : end;
        const std::string_view line = record.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (!line.starts_with("E:") || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(2, equals - 2);
        const std::string value = Utf8Text::valid(decodeHexEscapes(line.substr(equals + 1)));
        for (const auto& [name, field] : properties) {
            if (key == name && !value.empty()) {
                identity.*field = value;
            }
        }
    }
    return identity;
}

} // namespace tarnwell
