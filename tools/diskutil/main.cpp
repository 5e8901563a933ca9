#include "diskutil/BlkidFilesystemProbe.h"
#include "diskutil/DiskTool.h"
#include "diskutil/ProcessCommandRunner.h"
#include "diskutil/SystemCallMounter.h"
#include "diskutil/UDisksClient.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// The test suites' copy of the tool talks, as root too, to the private bus they start; the
// installed tool is built without it.
#ifdef TARNWELL_DISKUTIL_PRIVATE_BUS_AS_ROOT
constexpr bool busAddressAsRoot = true;
#else
constexpr bool busAddressAsRoot = false;
#endif

// Root reaches only the system's own bus: an address from the environment could lead it to any
// program that poses as UDisks2. An ordinary user may only mislead themselves.
std::string busAddress(bool root) {
    const char* configured = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return configured != nullptr && (!root || busAddressAsRoot) ? configured
                                                                : tarnwell::SystemBus::systemAddress;
}

} // namespace

// The Linux stand-in for the macOS disk tool: the same command lines, the same property-list keys.
// It is started for every query, so it links nothing heavier than libblkid and starts no other
// program to answer one, nor to mount or unmount where UDisks2 or the system calls do it.
int main(int argc, char** argv) {
    // Whoever starts a set-user-ID copy chooses its environment, its arguments and what is mounted
    // where; the tool is not written to be run that way.
    if (::getuid() != ::geteuid() || ::getgid() != ::getegid()) {
        std::fputs("tarnwell-diskutil must not be installed set-user-ID or set-group-ID; "
                   "mounting goes through UDisks2 for ordinary users\n",
                   stderr);
        return 1;
    }
    const bool root = ::geteuid() == 0;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    tarnwell::ProcessCommandRunner commands(tarnwell::ProcessCommandRunner::Trust::SystemOnly);
    tarnwell::BlkidFilesystemProbe probe;
    tarnwell::DiskToolServices services;
    tarnwell::SystemCallMounter direct;
    tarnwell::UDisksClient udisks(busAddress(root));
    services.commands = &commands;
    services.direct = &direct;
    services.probe = &probe;
    services.udisks = &udisks;
    services.isRoot = root;
    tarnwell::DiskTool tool(std::move(services));

    const tarnwell::CommandResult result = tool.run(arguments);
    std::fwrite(result.output.data(), 1, result.output.size(), stdout);
    std::fwrite(result.error.data(), 1, result.error.size(), stderr);
    return std::fflush(stdout) == 0 ? result.exitCode : 1;
}
