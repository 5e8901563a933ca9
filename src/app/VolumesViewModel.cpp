#include "app/VolumesViewModel.h"

#include "core/model/TarnwellError.h"

#include <QPointer>
#include <algorithm>

namespace tarnwell {

VolumesViewModel::VolumesViewModel(TarnwellConfiguration configuration,
                                   std::shared_ptr<DiskServicing> diskService,
                                   std::shared_ptr<RuleServicing> ruleService, QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_diskService(std::move(diskService))
    , m_ruleService(std::move(ruleService)) {
}

std::optional<DriveInfo> VolumesViewModel::selectedVolume() const {
    if (!m_selectedVolumeID) {
        return std::nullopt;
    }
    const auto found = std::find_if(m_volumes.begin(), m_volumes.end(), [&](const DriveInfo& volume) {
        return volume.id() == *m_selectedVolumeID;
    });
    return found == m_volumes.end() ? std::nullopt : std::optional(*found);
}

void VolumesViewModel::selectVolume(const std::optional<DriveInfo>& volume) {
    setSelectedVolumeID(volume ? std::optional(volume->id()) : std::nullopt);
}

void VolumesViewModel::update(TarnwellConfiguration configuration) {
    m_configuration = std::move(configuration);
    Q_EMIT configurationChanged();
}

void VolumesViewModel::setErrorMessage(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

void VolumesViewModel::setSelectedVolumeID(std::optional<QString> id) {
    m_selectedVolumeID = std::move(id);
    Q_EMIT selectedVolumeIDChanged();
}

QCoro::Task<> VolumesViewModel::refreshVolumes() {
    const qint64 requestID = ++m_refreshRequestID;
    QPointer<VolumesViewModel> self(this);
    // The service is kept alive by this frame even if the view model goes away meanwhile.
    const std::shared_ptr<DiskServicing> diskService = m_diskService;
    QList<DriveInfo> volumes;
    std::optional<QString> failure;
    try {
        volumes = co_await diskService->listMountedVolumes(m_configuration.showAllVolumes);
    } catch (const std::exception& error) {
        failure = userFacingMessage(error);
    }
    // A newer listing started meanwhile: its result, not this one, is the one to show.
    if (!self || requestID != m_refreshRequestID) {
        co_return;
    }
    if (failure) {
        setErrorMessage(failure);
        co_return;
    }
    m_volumes = std::move(volumes);
    Q_EMIT volumesChanged();
    setErrorMessage(std::nullopt);
    reconcileSelection();
}

void VolumesViewModel::reconcileSelection() {
    if (m_volumes.isEmpty()) {
        setSelectedVolumeID(std::nullopt);
        return;
    }
    if (!selectedVolume()) {
        setSelectedVolumeID(m_volumes.first().id());
    }
}

QCoro::Task<> VolumesViewModel::setShowAllVolumes(bool showAll) {
    TarnwellConfiguration changed = m_configuration;
    changed.showAllVolumes = showAll;
    try {
        m_ruleService->saveConfiguration(changed);
    } catch (const std::exception& error) {
        setErrorMessage(userFacingMessage(error));
        // The switch that asked for the change shows the stored value again.
        Q_EMIT configurationChanged();
        co_return;
    }
    m_configuration = changed;
    Q_EMIT configurationChanged();
    setErrorMessage(std::nullopt);
    QPointer<VolumesViewModel> self(this);
    if (onConfigurationChanged) {
        co_await onConfigurationChanged(std::move(changed));
    }
    if (self) {
        co_await self->refreshVolumes();
    }
}

} // namespace tarnwell
