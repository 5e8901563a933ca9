#include "diskutil/SystemCallMounter.h"

#include "diskutil/FileText.h"

#include <cerrno>
#include <sys/mount.h>
#include <unistd.h>

namespace tarnwell {

SystemCallMounter::SystemCallMounter(std::vector<std::string> helperFolders, std::string userspaceTable)
    : m_helperFolders(std::move(helperFolders))
    , m_userspaceTable(std::move(userspaceTable)) {
}

bool SystemCallMounter::needsPrograms(const std::string& type) const {
    // FUSE file systems run a daemon that a helper starts, and a helper found for the type is what
    // the programs would run instead of the call.
    if (type.empty() || type.rfind("fuse", 0) == 0) {
        return true;
    }
    for (const std::string& folder : m_helperFolders) {
        for (const char* program : {"/mount.", "/umount."}) {
            if (::access((folder + program + type).c_str(), X_OK) == 0) {
                return true;
            }
        }
    }
    return false;
}

DirectMounting::Outcome SystemCallMounter::mount(const std::string& device, const std::string& directory,
                                                 const std::string& type) {
    if (needsPrograms(type) ||
        ::mount(device.c_str(), directory.c_str(), type.c_str(), MS_NOSUID | MS_NODEV, nullptr) != 0) {
        // The mount program words the error, or succeeds where a retry read-only does.
        return Outcome::Declined;
    }
    return Outcome::Done;
}

DirectMounting::Outcome SystemCallMounter::unmount(const std::string& directory, const std::string& type) {
    // Mounts with entries in the userspace table carry options, such as an unmount helper, that
    // only the umount program honours and cleans up after.
    if (needsPrograms(type) || !FileText::read(m_userspaceTable).value_or(std::string()).empty()) {
        return Outcome::Declined;
    }
    if (::umount2(directory.c_str(), UMOUNT_NOFOLLOW) == 0) {
        return Outcome::Done;
    }
    return errno == EBUSY ? Outcome::Busy : Outcome::Declined;
}

} // namespace tarnwell
