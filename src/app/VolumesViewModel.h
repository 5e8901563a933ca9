#pragma once

#include "core/disk/DiskServicing.h"
#include "core/model/RuleServicing.h"
#include "core/model/TarnwellConfiguration.h"

#include <QCoroTask>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwell {

// Lists the volumes the disk service reports, keeps one selected and owns the "show all volumes"
// switch. Of overlapping listings only the one started last is applied.
class VolumesViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::TarnwellConfiguration configuration READ configuration NOTIFY configurationChanged)
    Q_PROPERTY(QList<tarnwell::DriveInfo> volumes READ volumes NOTIFY volumesChanged)
    Q_PROPERTY(std::optional<QString> selectedVolumeID READ selectedVolumeID NOTIFY selectedVolumeIDChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool showAllVolumes READ showAllVolumes NOTIFY configurationChanged)

public:
    using ConfigurationHandler = std::function<QCoro::Task<>(TarnwellConfiguration)>;

    VolumesViewModel(TarnwellConfiguration configuration, std::shared_ptr<DiskServicing> diskService,
                     std::shared_ptr<RuleServicing> ruleService, QObject* parent = nullptr);

    const TarnwellConfiguration& configuration() const { return m_configuration; }
    const QList<DriveInfo>& volumes() const { return m_volumes; }
    const std::optional<QString>& selectedVolumeID() const { return m_selectedVolumeID; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool showAllVolumes() const { return m_configuration.showAllVolumes; }
    // Nothing when no volume is selected or the selected one is no longer listed.
    std::optional<DriveInfo> selectedVolume() const;

    // Called after the configuration was saved; the composition root sets it.
    ConfigurationHandler onConfigurationChanged;

    void selectVolume(const std::optional<DriveInfo>& volume);
    QCoro::Task<> refreshVolumes();
    QCoro::Task<> setShowAllVolumes(bool showAll);
    // Replaces the configuration without saving, handing it on or listing again.
    void update(TarnwellConfiguration configuration);

Q_SIGNALS:
    void configurationChanged();
    void volumesChanged();
    void selectedVolumeIDChanged();
    void errorMessageChanged();

private:
    void setErrorMessage(std::optional<QString> message);
    void setSelectedVolumeID(std::optional<QString> id);
    void reconcileSelection();

    TarnwellConfiguration m_configuration;
    QList<DriveInfo> m_volumes;
    std::optional<QString> m_selectedVolumeID;
    std::optional<QString> m_errorMessage;
    std::shared_ptr<DiskServicing> m_diskService;
    std::shared_ptr<RuleServicing> m_ruleService;
    qint64 m_refreshRequestID = 0;
};

} // namespace tarnwell
