#pragma once

#include "diskutil/SystemBus.h"
#include "diskutil/UDisksMounting.h"

namespace tarnwell {

// UDisks2's calls on the system bus, made by the tool itself: the device's object found with
// ResolveDevice, then Filesystem.Mount or Unmount on it, once the bus has said that root owns the
// service's name.
class UDisksClient : public UDisksMounting {
public:
    // The bus's address, and how long the service may take to answer at all (the bus may have to
    // start it), and to mount or unmount.
    explicit UDisksClient(std::string busAddress = SystemBus::systemAddress, int answerMilliseconds = 2000,
                          int operationMilliseconds = 30000);

    Answer mount(const std::string& devicePath) override;
    Answer unmount(const std::string& devicePath) override;

    // Whether the service answers a ping on the system bus.
    bool answers() const;

private:
    Answer operate(const std::string& devicePath, const std::string& member, const std::string& doing) const;

    std::string m_busAddress;
    int m_answerMilliseconds;
    int m_operationMilliseconds;
};

} // namespace tarnwell
