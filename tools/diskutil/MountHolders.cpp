#include "diskutil/MountHolders.h"

#include "diskutil/FileText.h"
#include "diskutil/Utf8Text.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarnwell {

namespace {

using Folder = std::unique_ptr<DIR, int (*)(DIR*)>;

bool isOn(const std::string& path, dev_t device) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && status.st_dev == device;
}

// Memory maps name their file's device as "major:minor" in hexadecimal; this avoids opening
// every mapped file.
bool mapsDevice(const std::string& mapsPath, dev_t device) {
    const auto maps = FileText::read(mapsPath);
    if (!maps) {
        return false;
    }
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x", major(device), minor(device));
    std::istringstream lines(*maps);
    std::string line;
    while (std::getline(lines, line)) {
        // address perms offset dev inode path
        std::istringstream fields(line);
        std::string address, permissions, offset, number, inode;
        if (fields >> address >> permissions >> offset >> number >> inode && number == wanted &&
            inode != "0") {
            return true;
        }
    }
    return false;
}

// A process names itself, so its name must not bring line breaks or other controls into the
// message that quotes it.
std::string printable(const std::string& name) {
    std::string text;
    Utf8Text::forEach(Utf8Text::valid(name), [&text](char32_t code, std::string_view sequence) {
        if (code >= 0x20 && (code < 0x7F || code > 0x9F)) {
            text += sequence;
        }
    });
    return text;
}

bool holds(const std::string& processPath, dev_t device) {
    if (isOn(processPath + "/cwd", device) || isOn(processPath + "/root", device)) {
        return true;
    }
    const std::string descriptors = processPath + "/fd";
    if (const Folder folder(::opendir(descriptors.c_str()), ::closedir); folder) {
        while (const dirent* entry = ::readdir(folder.get())) {
            if (entry->d_name[0] != '.' && isOn(descriptors + "/" + entry->d_name, device)) {
                return true;
            }
        }
    }
    return mapsDevice(processPath + "/maps", device);
}

} // namespace

std::vector<MountHolder> MountHolders::find(dev_t device, const std::string& procRoot) {
    std::vector<std::int64_t> pids;
    if (const Folder folder(::opendir(procRoot.c_str()), ::closedir); folder) {
        while (const dirent* entry = ::readdir(folder.get())) {
            const std::string name = entry->d_name;
            if (!name.empty() && name.size() < 19 && std::all_of(name.begin(), name.end(), ::isdigit)) {
                pids.push_back(std::stoll(name));
            }
        }
    }
    std::sort(pids.begin(), pids.end());
    std::vector<MountHolder> holders;
    for (const std::int64_t pid : pids) {
        const std::string processPath = procRoot + "/" + std::to_string(pid);
        if (holds(processPath, device)) {
            holders.push_back({pid, printable(FileText::attribute(processPath + "/comm"))});
        }
    }
    return holders;
}

} // namespace tarnwell
