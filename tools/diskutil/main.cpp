#include "diskutil/BlkidFilesystemProbe.h"
#include "diskutil/DiskTool.h"
#include "diskutil/ProcessCommandRunner.h"
#include "diskutil/SystemCallMounter.h"
#include "diskutil/UDisksClient.h"

#include <cstdio>
#include <unistd.h>

// The Linux stand-in for the macOS disk tool: the same command lines, the same property-list keys.
// It is started for every query, so it links nothing heavier than libblkid and starts no other
// program to answer one, nor to mount or unmount where UDisks2 or the system calls do it.
int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    tarnwell::ProcessCommandRunner commands;
    tarnwell::BlkidFilesystemProbe probe;
    tarnwell::DiskToolServices services;
    tarnwell::SystemCallMounter direct;
    tarnwell::UDisksClient udisks;
    services.commands = &commands;
    services.direct = &direct;
    services.probe = &probe;
    services.udisks = &udisks;
    services.isRoot = ::geteuid() == 0;
    tarnwell::DiskTool tool(std::move(services));

    const tarnwell::CommandResult result = tool.run(arguments);
    std::fwrite(result.output.data(), 1, result.output.size(), stdout);
    std::fwrite(result.error.data(), 1, result.error.size(), stderr);
    return std::fflush(stdout) == 0 ? result.exitCode : 1;
}
