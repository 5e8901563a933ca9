// Median wall time of the disk tool against the system programs it replaces or runs, measured in
// one run on the same devices: `lsblk --json` against `info -plist UUID` and `list -plist external
// physical`, and the tool's mount and unmount against the bare mount and umount (or udisksctl,
// when UDisks2 answers) on one loop volume. As root it attaches loop devices until the machine has
// at least eight block devices; the UUID asked for is on the last one, so info may have to identify
// every device first.

#include "diskutil/ProcessCommandRunner.h"
#include "diskutil/SysfsBlockDevices.h"
#include "diskutil/UDisksClient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using tarnwell::CommandResult;

namespace {

constexpr size_t wantedDevices = 8;
constexpr int queryRuns = 60;
constexpr int mountRuns = 30;

CommandResult run(const std::string& program, const std::vector<std::string>& arguments) {
    return tarnwell::ProcessCommandRunner().run(program, arguments);
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

double millisecondsOf(const std::string& program, const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const CommandResult result = run(program, arguments);
    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (result.exitCode != 0) {
        std::fprintf(stderr, "%s failed: %s%s\n", program.c_str(), result.error.c_str(),
                     result.output.c_str());
        std::exit(1);
    }
    return elapsed;
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The commands in turn, run after run, so a change in the machine's load meets all of them alike.
std::vector<double> medianMilliseconds(const std::vector<std::vector<std::string>>& commands) {
    std::vector<std::vector<double>> times(commands.size());
    for (int index = 0; index < queryRuns; ++index) {
        for (size_t command = 0; command < commands.size(); ++command) {
            times[command].push_back(
                millisecondsOf(commands[command][0], std::vector<std::string>(commands[command].begin() + 1,
                                                                              commands[command].end())));
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& series : times) {
        medians.push_back(median(series));
    }
    return medians;
}

// Loop devices and images made for the measurement, removed again however the run ends normally.
class LoopDevices {
public:
    LoopDevices()
        : m_folder(std::filesystem::temp_directory_path() /
                   ("diskutil-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_folder);
    }
    ~LoopDevices() {
        for (const std::string& device : m_devices) {
            run("losetup", {"--detach", device});
        }
        std::filesystem::remove_all(m_folder);
    }

    // An ext4 image with the label, attached; returns the device and the file system's UUID.
    std::pair<std::string, std::string> attach(const std::string& label) {
        const std::string image = (m_folder / std::to_string(m_devices.size())).string();
        run("truncate", {"--size=16M", image});
        run("mkfs.ext4", {"-q", "-L", label, image});
        const std::string device = firstLine(run("losetup", {"--find", "--show", image}).output);
        if (device.empty()) {
            std::fprintf(stderr, "Could not attach %s\n", image.c_str());
            std::exit(1);
        }
        m_devices.push_back(device);
        return {device, firstLine(run("blkid", {"-p", "-s", "UUID", "-o", "value", device}).output)};
    }

    std::filesystem::path folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::vector<std::string> m_devices;
};

size_t blockDeviceCount() {
    return tarnwell::SysfsBlockDevices::read("/sys", "/run/udev/data").size();
}

} // namespace

int main() {
    const std::string tool = TARNWELL_DISKUTIL_EXECUTABLE;
    if (::geteuid() != 0) {
        std::fprintf(stderr, "Needs root: it attaches loop devices and mounts them.\n");
        return 1;
    }
    LoopDevices loops;
    std::pair<std::string, std::string> last;
    int index = 0;
    while (blockDeviceCount() < wantedDevices || last.second.empty()) {
        last = loops.attach("Bench " + std::to_string(++index));
    }
    const auto& [device, uuid] = last;
    // Where udev serves the machine, the tool reads what it recorded for the new devices.
    const bool udev = run("udevadm", {"control", "--ping"}).exitCode == 0;
    if (udev) {
        run("udevadm", {"settle", "--timeout=20"});
    }

    std::printf("block devices: %zu, %s, runs per query: %d, mount and unmount cycles: %d\n",
                blockDeviceCount(), udev ? "udev records" : "no udev records (every identity probed)",
                queryRuns, mountRuns);
    const std::vector<double> medians =
        medianMilliseconds({{"true"},
                            {"lsblk", "--json"},
                            {tool, "info", "-plist", uuid},
                            {tool, "list", "-plist", "external", "physical"}});
    const double lsblk = medians[1];
    const double info = medians[2];
    const double list = medians[3];
    std::printf("true (the cost of starting any program):       %7.2f ms\n", medians[0]);
    std::printf("lsblk --json:                                  %7.2f ms\n", lsblk);
    std::printf("info -plist UUID (goal <= 4 ms, <= lsblk / 2):  %7.2f ms (%.1fx faster than lsblk)\n", info,
                lsblk / info);
    std::printf("list -plist external physical (goal <= 6 ms):  %7.2f ms\n", list);

    // The same volume mounted and unmounted by the program the tool runs and by the tool, in turn.
    const bool udisks = tarnwell::UDisksClient().answers();
    const std::string folder = (loops.folder() / "mount").string();
    std::filesystem::create_directories(folder);
    std::vector<double> bareMount, bareUnmount, toolMount, toolUnmount;
    for (int cycle = 0; cycle < mountRuns; ++cycle) {
        if (udisks) {
            bareMount.push_back(
                millisecondsOf("udisksctl", {"mount", "--block-device", device, "--no-user-interaction"}));
            bareUnmount.push_back(
                millisecondsOf("udisksctl", {"unmount", "--block-device", device, "--no-user-interaction"}));
        } else {
            bareMount.push_back(millisecondsOf("mount", {"-o", "nosuid,nodev", device, folder}));
            bareUnmount.push_back(millisecondsOf("umount", {folder}));
        }
        toolMount.push_back(millisecondsOf(tool, {"mount", uuid}));
        toolUnmount.push_back(millisecondsOf(tool, {"unmount", uuid}));
    }
    const char* program = udisks ? "udisksctl" : "mount/umount";
    std::printf("mount through %s:  bare %7.2f ms, tool %7.2f ms, added %6.2f ms (goal <= 3 ms)\n", program,
                median(bareMount), median(toolMount), median(toolMount) - median(bareMount));
    std::printf("unmount through %s: bare %7.2f ms, tool %7.2f ms, added %6.2f ms (goal <= 3 ms)\n", program,
                median(bareUnmount), median(toolUnmount), median(toolUnmount) - median(bareUnmount));
    return 0;
}
