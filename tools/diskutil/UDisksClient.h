#pragma once

#include "diskutil/UDisksMounting.h"

namespace tarnwell {

// UDisks2's calls on the system bus, made by the tool itself: the device's object found with
// ResolveDevice, then Filesystem.Mount or Unmount on it.
class UDisksClient : public UDisksMounting {
public:
    // How long the service may take to answer at all (the bus may have to start it), and to mount
    // or unmount.
    explicit UDisksClient(int answerMilliseconds = 2000, int operationMilliseconds = 30000);

    Answer mount(const std::string& devicePath) override;
    Answer unmount(const std::string& devicePath) override;

    // Whether the service answers a ping on the system bus.
    bool answers() const;

private:
    Answer operate(const std::string& devicePath, const std::string& member, const std::string& doing) const;

    int m_answerMilliseconds;
    int m_operationMilliseconds;
};

} // namespace tarnwell
