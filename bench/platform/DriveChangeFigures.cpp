// Prints how long a rule's status takes to follow its drive: from the start of the command that
// attaches, mounts, unmounts or detaches a loop device to the moment the rule shows the new state,
// through the real drive watcher, the disk tool and the controller. Also counts the reads one
// attach of a drive with five partitions causes. Needs root, for loop devices and mounts.
//
// Usage: tarnwell_bench_drive_changes [rounds = 20]

#include "core/automation/TarnwellController.h"
#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/StorageTargetService.h"
#include "platform/linux/DriveChangeWatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

using namespace tarnwell;
using Kind = StorageTargetRuntimeStatus::Kind;

class QuietLog : public TarnwellLogging {
public:
    void record(const QString&) override {}
};

class QuietNotifier : public TarnwellNotifying {
public:
    QCoro::Task<> notify(QString, QString, bool) override { co_return; }
};

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
        std::exit(1);
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Reads the drives again after every change, one read at a time, as the application does.
class Follower : public QObject {
public:
    Follower(TarnwellController* controller, DriveChangeSource* changes)
        : m_controller(controller) {
        connect(changes, &DriveChangeSource::changed, this, [this] { read(); });
    }
    int reads = 0;

private:
    QCoro::Task<> read() {
        if (std::exchange(m_reading, true)) {
            m_again = true;
            co_return;
        }
        do {
            m_again = false;
            ++reads;
            co_await m_controller->handleDrivesChanged();
        } while (m_again);
        m_reading = false;
    }

    TarnwellController* m_controller;
    bool m_reading = false;
    bool m_again = false;
};

double percentile(QList<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.value(std::min<qsizetype>(values.size() - 1, qsizetype(fraction * double(values.size()))));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (::geteuid() != 0) {
        std::fprintf(stderr, "needs root for loop devices and mounts\n");
        return 1;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir folder;
    const QString image = folder.filePath(QStringLiteral("volume.img"));
    const QString point = folder.filePath(QStringLiteral("point"));
    run(QStringLiteral("truncate"), {"-s", "64M", image});
    run(QStringLiteral("mkfs.ext4"), {"-q", "-L", "Watched", image});
    run(QStringLiteral("mkdir"), {point});
    const QString uuid = run(QStringLiteral("blkid"), {"-o", "value", "-s", "UUID", image});

    StorageTargetRule rule;
    rule.id = QUuid::createUuid();
    rule.target = LocalVolumeTarget{QStringLiteral("Watched"), uuid, {}, {}, {}, {}, true};
    TarnwellConfiguration configuration;
    configuration.storageRules = {rule};
    TarnwellController controller(
        configuration,
        std::make_shared<StorageTargetService>(
            std::make_shared<LocalVolumeTargetService>(std::make_shared<DiskService>())),
        std::make_shared<QuietNotifier>(), std::make_shared<QuietLog>(), [] { return QSet<QString>{}; });
    DriveChangeWatcher watcher;
    Follower follower(&controller, &watcher);
    watcher.start();

    const auto kind = [&controller, &rule] { return controller.state(rule.id)->status.kind(); };
    QMap<QString, QList<double>> figures;
    const auto measure = [&](const QString& step, Kind expected, const std::function<void()>& action) {
        QElapsedTimer timer;
        timer.start();
        action();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        QObject::connect(&controller, &TarnwellController::targetStatesChanged, &loop, [&] {
            if (kind() == expected) {
                loop.quit();
            }
        });
        if (kind() != expected) {
            loop.exec();
        }
        if (kind() != expected) {
            std::fprintf(stderr, "%s: not seen within 10 s\n", qPrintable(step));
            std::exit(1);
        }
        figures[step].append(double(timer.nsecsElapsed()) / 1e6);
    };

    QString device;
    for (int round = 0; round < rounds; ++round) {
        measure(QStringLiteral("appear"), Kind::NotMounted, [&] {
            device = run(QStringLiteral("losetup"), {"--find", "--show", image});
        });
        measure(QStringLiteral("mount"), Kind::Mounted, [&] {
            run(QStringLiteral("mount"), {device, point});
        });
        measure(QStringLiteral("unmount"), Kind::NotMounted, [&] { run(QStringLiteral("umount"), {point}); });
        measure(QStringLiteral("disappear"), Kind::TargetNotFound, [&] {
            run(QStringLiteral("losetup"), {"--detach", device});
        });
    }
    QList<double> all;
    std::printf("change to rule status, %d rounds (ms):\n", rounds);
    for (auto it = figures.cbegin(); it != figures.cend(); ++it) {
        all += it.value();
        std::printf("  %-9s p50 %6.1f  p95 %6.1f  max %6.1f\n", qPrintable(it.key()),
                    percentile(it.value(), 0.5), percentile(it.value(), 0.95), percentile(it.value(), 1.0));
    }
    std::printf("  %-9s p50 %6.1f  p95 %6.1f  max %6.1f\n", "all", percentile(all, 0.5),
                percentile(all, 0.95), percentile(all, 1.0));

    // One drive with five partitions, attached at once.
    const QString table = folder.filePath(QStringLiteral("table.img"));
    run(QStringLiteral("truncate"), {"-s", "64M", table});
    QProcess partition;
    partition.start(QStringLiteral("sfdisk"), {"-q", table});
    partition.write("label: gpt\n,8M\n,8M\n,8M\n,8M\n,8M\n");
    partition.closeWriteChannel();
    partition.waitForFinished();
    QEventLoop quiet;
    QTimer::singleShot(2000, &quiet, &QEventLoop::quit);
    quiet.exec();
    const int before = follower.reads;
    const QString partitioned = run(QStringLiteral("losetup"), {"--find", "--show", "--partscan", table});
    QTimer::singleShot(3000, &quiet, &QEventLoop::quit);
    quiet.exec();
    std::printf("reads after attaching a drive with five partitions: %d\n", follower.reads - before);
    run(QStringLiteral("losetup"), {"--detach", partitioned});
    return 0;
}
