#include "diskutil/BlkidFilesystemProbe.h"
#include "diskutil/DiskTool.h"
#include "diskutil/ProcessCommandRunner.h"
#include "diskutil/UDisksService.h"

#include <QStringList>
#include <cstdio>
#include <unistd.h>

// The Linux stand-in for the macOS disk tool: the same command lines, the same property-list keys.
// It runs without an application object: every command is one pass with blocking waits, and the
// tool is started for every query, so start-up time counts.
int main(int argc, char** argv) {
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    tarnwell::ProcessCommandRunner commands;
    tarnwell::BlkidFilesystemProbe probe;
    tarnwell::DiskToolServices services;
    services.commands = &commands;
    services.probe = &probe;
    services.udisksAnswers = [&commands] { return tarnwell::UDisksService::answers(commands); };
    services.isRoot = ::geteuid() == 0;
    tarnwell::DiskTool tool(std::move(services));

    const tarnwell::CommandResult result = tool.run(arguments);
    std::fwrite(result.output.constData(), 1, static_cast<size_t>(result.output.size()), stdout);
    std::fwrite(result.error.constData(), 1, static_cast<size_t>(result.error.size()), stderr);
    return std::fflush(stdout) == 0 ? result.exitCode : 1;
}
