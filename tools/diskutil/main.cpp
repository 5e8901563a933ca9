#include "diskutil/BlkidFilesystemProbe.h"
#include "diskutil/DiskTool.h"
#include "diskutil/ProcessCommandRunner.h"
#include "diskutil/UDisksService.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

// The Linux stand-in for the macOS disk tool: the same command lines, the same property-list keys.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    tarnwell::ProcessCommandRunner commands;
    tarnwell::BlkidFilesystemProbe probe;
    tarnwell::DiskToolServices services;
    services.commands = &commands;
    services.probe = &probe;
    services.udisksAnswers = [] { return tarnwell::UDisksService::answers(); };
    services.isRoot = ::geteuid() == 0;
    tarnwell::DiskTool tool(std::move(services));

    const tarnwell::CommandResult result = tool.run(QCoreApplication::arguments().mid(1));
    std::fwrite(result.output.constData(), 1, static_cast<size_t>(result.output.size()), stdout);
    std::fwrite(result.error.constData(), 1, static_cast<size_t>(result.error.size()), stderr);
    return std::fflush(stdout) == 0 ? result.exitCode : 1;
}
