// Median wall time of the disk tool's reading commands, against lsblk alone as the floor: every
// command runs lsblk once, so the difference is the tool's own cost. As root it attaches loop
// devices until the machine has at least eight block devices; the UUID asked for is on the last
// one, so info has to identify every device first.

#include "diskutil/BlockDeviceTable.h"
#include "diskutil/ProcessCommandRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

using tarnwell::CommandResult;
using tarnwell::ProcessCommandRunner;

namespace {

constexpr int wantedDevices = 8;
constexpr int runs = 60;

CommandResult run(const QString& program, const QStringList& arguments) {
    return ProcessCommandRunner().run(program, arguments);
}

int blockDeviceCount() {
    const CommandResult lsblk = run("lsblk", {"--list", "--noheadings", "--output", "NAME"});
    return static_cast<int>(lsblk.output.count('\n'));
}

double medianMilliseconds(const QString& program, const QStringList& arguments) {
    std::vector<double> times;
    for (int index = 0; index < runs; ++index) {
        QElapsedTimer timer;
        timer.start();
        const CommandResult result = run(program, arguments);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (result.exitCode != 0) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), result.error.constData());
            return -1;
        }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Loop devices made for the measurement, detached again however the run ends normally.
class LoopDevices {
public:
    ~LoopDevices() {
        for (const QString& device : m_devices) {
            run("losetup", {"--detach", device});
        }
    }

    QString attach(const QString& image) {
        const CommandResult attached = run("losetup", {"--find", "--show", image});
        const QString device = QString::fromUtf8(attached.output).trimmed();
        if (attached.exitCode == 0) {
            m_devices.append(device);
        }
        return device;
    }

private:
    QStringList m_devices;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString tool = QStringLiteral(TARNWELL_DISKUTIL_EXECUTABLE);
    QTemporaryDir images;
    LoopDevices loops;
    QString uuid;

    if (::geteuid() == 0) {
        int index = 0;
        while (blockDeviceCount() < wantedDevices || uuid.isEmpty()) {
            const QString image = images.filePath(QString::number(index++));
            QFile file(image);
            if (!file.open(QIODevice::WriteOnly) || !file.resize(16 * 1024 * 1024)) {
                return 1;
            }
            file.close();
            run("mkfs.ext4", {"-q", "-L", QStringLiteral("Bench %1").arg(index), image});
            const QString device = loops.attach(image);
            const CommandResult blkid = run("blkid", {"-p", "-s", "UUID", "-o", "value", device});
            uuid = QString::fromUtf8(blkid.output).trimmed();
        }
    } else {
        std::fprintf(stderr, "Not root: measuring info on the machine's own devices only.\n");
        const CommandResult lsblk = run("lsblk", {"--list", "--noheadings", "--output", "UUID"});
        uuid = QString::fromUtf8(lsblk.output).split('\n', Qt::SkipEmptyParts).value(0).trimmed();
    }

    const QStringList lsblkArguments = {"--json", "--bytes", "--output",
                                        tarnwell::BlockDeviceTable::lsblkColumns.join(',')};
    std::printf("block devices: %d, runs per command: %d\n", blockDeviceCount(), runs);
    std::printf("lsblk --json (floor):               %7.2f ms\n",
                medianMilliseconds("lsblk", lsblkArguments));
    // The tool's start-up alone: a command that reads no device.
    std::printf("apfs list -plist (start-up only):    %7.2f ms\n",
                medianMilliseconds(tool, {"apfs", "list", "-plist"}));
    if (!uuid.isEmpty()) {
        std::printf("info -plist UUID (goal <= 15 ms):    %7.2f ms\n",
                    medianMilliseconds(tool, {"info", "-plist", uuid}));
    }
    std::printf("list -plist external physical (<= 20 ms): %7.2f ms\n",
                medianMilliseconds(tool, {"list", "-plist", "external", "physical"}));
    return 0;
}
