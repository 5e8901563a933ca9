// A volume listing through the fake disk tool on a machine with 8 mounted volumes and 2 external
// APFS containers (each also holding one unmounted volume). Prints the number of child processes
// one listing starts and the wall time of a listing (median of 11).

#include "core/disk/DiskService.h"
#include "support/FakeDiskTool.h"
#include "support/TaskRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <vector>

using tarnwell::testing::FakeDiskTool;

namespace {

QJsonObject machine() {
    QJsonArray disks;
    QJsonArray containers;
    for (int disk = 0; disk < 2; ++disk) {
        const QString store = QStringLiteral("disk%1s2").arg(2 + disk * 2);
        const QString container = QStringLiteral("disk%1").arg(3 + disk * 2);
        disks.append(QJsonObject{{"deviceIdentifier", QStringLiteral("disk%1").arg(2 + disk * 2)},
                                 {"internal", false},
                                 {"busProtocol", "USB"},
                                 {"partitions", QJsonArray{QJsonObject{{"deviceIdentifier", store},
                                                                       {"content", "Apple_APFS"},
                                                                       {"apfsContainer", container}}}}});
        QJsonArray volumes;
        for (int volume = 1; volume <= 4; ++volume) {
            QJsonObject entry{
                {"deviceIdentifier", QStringLiteral("%1s%2").arg(container).arg(volume)},
                {"name", QStringLiteral("Volume %1-%2").arg(disk).arg(volume)},
                {"uuid", QStringLiteral("00000000-0000-0000-0000-0000000000%1%2").arg(disk).arg(volume)}};
            if (volume <= 3) {
                entry[QStringLiteral("mountPoint")] =
                    QStringLiteral("/Volumes/Volume %1-%2").arg(disk).arg(volume);
            }
            volumes.append(entry);
        }
        containers.append(
            QJsonObject{{"containerReference", container}, {"physicalStore", store}, {"volumes", volumes}});
    }
    QJsonArray partitions;
    for (int partition = 1; partition <= 2; ++partition) {
        partitions.append(QJsonObject{
            {"deviceIdentifier", QStringLiteral("disk8s%1").arg(partition)},
            {"content", "Windows_NTFS"},
            {"volumeName", QStringLiteral("Card %1").arg(partition)},
            {"volumeUUID", QStringLiteral("00000000-0000-0000-0000-0000000008C%1").arg(partition)},
            {"filesystemName", "ExFAT"},
            {"mountPoint", QStringLiteral("/Volumes/Card %1").arg(partition)}});
    }
    disks.append(QJsonObject{{"deviceIdentifier", "disk8"},
                             {"internal", false},
                             {"busProtocol", "Secure Digital"},
                             {"partitions", partitions}});
    return QJsonObject{{"disks", disks}, {"containers", containers}};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    FakeDiskTool tool(machine());
    tarnwell::DiskService service(FakeDiskTool::executablePath(), nullptr,
                                  tool.mountedVolumeLocationsFunction(),
                                  QStringList{QStringLiteral("/Volumes/")});

    const auto drives =
        tarnwell::testing::runTask(service.listMountedVolumes(false), std::chrono::minutes(2));
    const qsizetype processes = tool.invocations().size();

    std::vector<double> times;
    for (int round = 0; round < 11; ++round) {
        QElapsedTimer clock;
        clock.start();
        tarnwell::testing::runTask(service.listMountedVolumes(false), std::chrono::minutes(2));
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("volumes listed: %lld (8 mounted, 2 unmounted APFS)\n",
                static_cast<long long>(drives.size()));
    std::printf("child processes per listing: %lld\n", static_cast<long long>(processes));
    std::printf("wall time per listing: median %.1f ms, min %.1f ms, max %.1f ms\n", times[times.size() / 2],
                times.front(), times.back());
    return 0;
}
