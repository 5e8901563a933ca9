#include "diskutil/UDisksService.h"

#include "diskutil/FileText.h"
#include "diskutil/SystemBus.h"
#include "diskutil/Utf8Text.h"

#include <cstdlib>
#include <unistd.h>

namespace tarnwell {

namespace {

bool isOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (::access(((folder.empty() ? "." : folder) + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool isNameCharacter(char character) {
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
           (character >= '0' && character <= '9') || character == '_' || character == '.';
}

} // namespace

bool UDisksService::answers(int timeoutMilliseconds) {
    return isOnPath("udisksctl") &&
           SystemBus::ping("org.freedesktop.UDisks2", "/org/freedesktop/UDisks2", timeoutMilliseconds);
}

std::optional<std::string> UDisksService::failureReason(const CommandResult& result,
                                                        const std::string& operation) {
    static constexpr std::string_view marker = "GDBus.Error:";
    const std::string text = result.error + '\n' + result.output;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = Utf8Text::trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        // "GDBus.Error:NAME: MESSAGE", anywhere in the line.
        for (size_t at = line.find(marker); at != std::string::npos; at = line.find(marker, at + 1)) {
            size_t nameEnd = at + marker.size();
            while (nameEnd < line.size() && isNameCharacter(line[nameEnd])) {
                ++nameEnd;
            }
            const std::string name = line.substr(at + marker.size(), nameEnd - at - marker.size());
            if (name.empty() || line.compare(nameEnd, 2, ": ") != 0 || nameEnd + 2 >= line.size()) {
                continue;
            }
            const std::string message = line.substr(nameEnd + 2);
            // Every refusal by the authorisation policy, whether or not a password could have changed
            // it: the user has to hear that they may not do this, not a D-Bus error name.
            if (name.starts_with("org.freedesktop.UDisks2.Error.NotAuthorized")) {
                return "you are not allowed to " + operation + " this volume (UDisks2: " + message + ")";
            }
            return message;
        }
    }
    return std::nullopt;
}

} // namespace tarnwell
