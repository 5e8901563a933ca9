#include "platform/linux/DrivesProbe.h"

#include "core/support/Localization.h"
#include "diskutil/MountHolders.h"
#include "platform/linux/HealthProbeSupport.h"

#include <QFile>
#include <sys/stat.h>

namespace tarnwell {

DrivesProbe::DrivesProbe(std::shared_ptr<DiskServicing> diskService)
    : m_diskService(std::move(diskService)) {
}

QString DrivesProbe::title() const {
    return localized("Drives");
}

QCoro::Task<HealthCheck> DrivesProbe::check(HealthInputs inputs) {
    return check(std::move(inputs), m_diskService);
}

QStringList DrivesProbe::holders(const QString& mountPoint) {
    struct stat status {};
    if (::stat(QFile::encodeName(mountPoint).constData(), &status) != 0) {
        return {};
    }
    QStringList names;
    for (const MountHolder& holder : MountHolders::find(status.st_dev)) {
        names.append(QStringLiteral("%1 (%2)").arg(QString::fromStdString(holder.command)).arg(holder.pid));
    }
    return names;
}

QCoro::Task<HealthCheck> DrivesProbe::check(HealthInputs inputs, std::shared_ptr<DiskServicing> diskService) {
    using Kind = StorageTargetRuntimeStatus::Kind;
    HealthCheck result{localized("Drives"), HealthState::Fine};
    QStringList lines;
    qint64 rules = 0;
    qint64 missing = 0;
    qint64 stuck = 0;
    for (const StorageTargetState& state : std::as_const(inputs.targetStates)) {
        if (!state.rule.isEnabled) {
            continue;
        }
        ++rules;
        const QString name = state.rule.name;
        const LocalVolumeTarget* volume = state.rule.target.asLocalVolume();
        if (!volume) {
            lines.append(localizedFormat("%@: network shares are not mounted by Tarnwell.", {name}));
            continue;
        }
        if (state.status.kind() == Kind::TargetNotFound) {
            ++missing;
            lines.append(
                localizedFormat("%@: %@ is not found; connect the drive.", {name, volume->volumeName}));
            continue;
        }
        std::optional<QString> mountPoint;
        try {
            mountPoint = (co_await diskService->info(volume->volumeUUID)).mountPoint;
        } catch (const std::exception& error) {
            ++missing;
            lines.append(localizedFormat("%@: %@ is not found: %@",
                                         {name, volume->volumeName, QString::fromUtf8(error.what())}));
            continue;
        }
        if (!mountPoint || mountPoint->isEmpty()) {
            lines.append(localizedFormat("%@: %@ is found and not mounted.", {name, volume->volumeName}));
            continue;
        }
        const QStringList holding = co_await HealthProbeSupport::offThread<QStringList>(
            [path = *mountPoint] { return holders(path); });
        if (state.status.kind() == Kind::UnmountFailed) {
            ++stuck;
        }
        lines.append(holding.isEmpty()
                         ? localizedFormat("%@: %@ is mounted at %@; nothing of yours keeps it busy.",
                                           {name, volume->volumeName, *mountPoint})
                         : localizedFormat(
                               "%@: %@ is mounted at %@ and kept busy by %@.",
                               {name, volume->volumeName, *mountPoint, holding.join(QStringLiteral(", "))}));
    }
    result.details = lines.join(u'\n');
    if (rules == 0) {
        result.finding = localized("No rule is enabled.");
        co_return result;
    }
    result.finding =
        localizedFormat("%lld rules: %lld targets found, %lld not found.", {rules, rules - missing, missing});
    if (missing > 0 || stuck > 0) {
        result.state = HealthState::NeedsAttention;
        result.advice = stuck > 0 ? localized("Close what keeps the drive busy, then unmount it again.")
                                  : localized("Connect the drives that are not found, or edit their rules.");
    }
    co_return result;
}

} // namespace tarnwell
