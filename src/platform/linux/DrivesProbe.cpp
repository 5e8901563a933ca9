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

namespace {

// What was found of one enabled rule's target.
struct TargetFinding {
    QString rule;
    QString volume;
    bool isShare = false;
    bool found = true;
    QString failure;
    QString mountPoint;
    QStringList holders;
    bool unmountFailed = false;
    // The last line of the last failure, where the disk tool names what kept the drive busy.
    QString lastFailure;
};

// Kept apart from the coroutine, which only gathers the findings: texts are built here, in plain code.
HealthCheck describe(const QList<TargetFinding>& findings) {
    HealthCheck result{localized("Drives"), HealthState::Fine};
    QStringList lines;
    qint64 missing = 0;
    qint64 stuck = 0;
    for (const TargetFinding& target : findings) {
        missing += target.found ? 0 : 1;
        stuck += target.unmountFailed && !target.mountPoint.isEmpty() ? 1 : 0;
        if (target.isShare) {
            lines.append(localizedFormat("%@: network shares are not mounted by Tarnwell.", {target.rule}));
        } else if (!target.found && target.failure.isEmpty()) {
            lines.append(
                localizedFormat("%@: %@ is not found; connect the drive.", {target.rule, target.volume}));
        } else if (!target.found) {
            lines.append(
                localizedFormat("%@: %@ is not found: %@", {target.rule, target.volume, target.failure}));
        } else if (target.mountPoint.isEmpty()) {
            lines.append(localizedFormat("%@: %@ is found and not mounted.", {target.rule, target.volume}));
        } else if (target.holders.isEmpty() && target.unmountFailed && !target.lastFailure.isEmpty()) {
            lines.append(
                localizedFormat("%@: %@ is mounted at %@; the last unmount failed: %@",
                                {target.rule, target.volume, target.mountPoint, target.lastFailure}));
        } else if (target.holders.isEmpty()) {
            lines.append(localizedFormat("%@: %@ is mounted at %@; nothing of yours keeps it busy.",
                                         {target.rule, target.volume, target.mountPoint}));
        } else {
            lines.append(localizedFormat(
                "%@: %@ is mounted at %@ and kept busy by %@.",
                {target.rule, target.volume, target.mountPoint, target.holders.join(QStringLiteral(", "))}));
        }
    }
    result.details = lines.join(u'\n');
    if (findings.isEmpty()) {
        result.finding = localized("No rule is enabled.");
        return result;
    }
    const qint64 rules = findings.size();
    result.finding = localizedFormat("Targets found for %lld of %lld rules.", {rules - missing, rules});
    if (stuck > 0) {
        result.state = HealthState::NeedsAttention;
        result.advice = localized("Close what keeps the drive busy, then unmount it again.");
    } else if (missing > 0) {
        result.state = HealthState::NeedsAttention;
        result.advice = localized("Connect the drives that are not found, or edit their rules.");
    }
    return result;
}

} // namespace

QCoro::Task<HealthCheck> DrivesProbe::check(HealthInputs inputs, std::shared_ptr<DiskServicing> diskService) {
    QList<TargetFinding> findings;
    for (qsizetype index = 0; index < inputs.targetStates.size(); ++index) {
        const StorageTargetState state = inputs.targetStates.at(index);
        if (!state.rule.isEnabled) {
            continue;
        }
        TargetFinding target;
        target.rule = state.rule.name;
        target.unmountFailed = state.status.kind() == StorageTargetRuntimeStatus::Kind::UnmountFailed;
        const QStringList failureLines =
            state.lastErrorMessage.value_or(QString()).split(u'\n', Qt::SkipEmptyParts);
        target.lastFailure = failureLines.isEmpty() ? QString() : failureLines.last().trimmed();
        const LocalVolumeTarget* volume = state.rule.target.asLocalVolume();
        target.isShare = volume == nullptr;
        target.volume = volume ? volume->volumeName : QString();
        const QString uuid = volume ? volume->volumeUUID : QString();
        if (!target.isShare && state.status.kind() == StorageTargetRuntimeStatus::Kind::TargetNotFound) {
            target.found = false;
        } else if (!target.isShare) {
            try {
                const DriveInfo drive = co_await diskService->info(uuid);
                target.mountPoint = drive.mountPoint.value_or(QString());
            } catch (const std::exception& error) {
                target.found = false;
                target.failure = QString::fromUtf8(error.what());
            }
        }
        if (!target.mountPoint.isEmpty()) {
            std::function<QStringList()> work = [path = target.mountPoint] { return holders(path); };
            target.holders = co_await HealthProbeSupport::offThread<QStringList>(std::move(work));
        }
        findings.append(target);
    }
    co_return describe(findings);
}

} // namespace tarnwell
