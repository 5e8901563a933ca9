#pragma once

#include "app/DashboardViewModel.h"
#include "app/DiagnosticsViewModel.h"
#include "app/MenuBarViewModel.h"
#include "app/RulesViewModel.h"
#include "app/SettingsViewModel.h"
#include "app/VolumesViewModel.h"
#include "core/automation/AppMonitorService.h"
#include "core/automation/SystemSleepSource.h"
#include "core/automation/TarnwellController.h"
#include "core/disk/DiskServicing.h"
#include "core/disk/DriveChangeSource.h"
#include "core/disk/StorageTargetServicing.h"
#include "core/model/AppPresetService.h"
#include "core/model/RuleServicing.h"
#include "platform/LogService.h"
#include "platform/LoginItemServicing.h"
#include "platform/NotificationServicing.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <stop_token>

namespace tarnwell {

class DesktopEntryCatalog;
class SaveRecordingRuleService;

// Builds every service, the controller and the view models, wires them together and keeps them
// for the life of the process. Every callback it hands out holds what it reaches weakly, so a
// late callback after teardown does nothing.
class TarnwellContainer : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::DriveRule rule READ rule NOTIFY ruleChanged)
    Q_PROPERTY(
        tarnwell::SettingsViewModel* settingsViewModel READ settingsViewModel NOTIFY settingsViewModelChanged)
    Q_PROPERTY(tarnwell::DashboardViewModel* dashboardViewModel READ dashboardViewModel CONSTANT)
    Q_PROPERTY(tarnwell::RulesViewModel* rulesViewModel READ rulesViewModel CONSTANT)
    Q_PROPERTY(tarnwell::VolumesViewModel* volumesViewModel READ volumesViewModel CONSTANT)
    Q_PROPERTY(tarnwell::MenuBarViewModel* menuViewModel READ menuViewModel CONSTANT)
    Q_PROPERTY(QSet<QString> installedPresetIdentifiers READ installedPresetIdentifiers NOTIFY
                   installedPresetIdentifiersChanged)

public:
    // Every empty member is replaced by the real service.
    struct Dependencies {
        std::shared_ptr<RuleServicing> ruleService;
        std::shared_ptr<AppPresetService> appPresetService;
        std::shared_ptr<DiskServicing> diskService;
        std::shared_ptr<NotificationServicing> notificationService;
        std::shared_ptr<AppMonitorService> appMonitorService;
        std::shared_ptr<LogService> logger;
        std::shared_ptr<LoginItemServicing> loginItemService;
        std::shared_ptr<DesktopEntryCatalog> desktopEntries;
        std::shared_ptr<DriveChangeSource> driveChanges;
        TarnwellController::Delay delay;
        SettingsViewModel::AppSelection appSelection;
        SettingsViewModel::ApplicationReader readApplication;
        std::shared_ptr<SystemSleepSource> systemSleep;
        // The health checks of the Diagnostics page, in the order of its rows.
        DiagnosticsViewModel::Probes healthProbes;
    };

    explicit TarnwellContainer(Dependencies dependencies = {}, QObject* parent = nullptr);
    ~TarnwellContainer() override;

    const DriveRule& rule() const { return m_rule; }
    const TarnwellConfiguration& configuration() const { return m_configuration; }
    SettingsViewModel* settingsViewModel() const { return m_settingsViewModel; }
    DashboardViewModel* dashboardViewModel() const { return m_dashboardViewModel; }
    RulesViewModel* rulesViewModel() const { return m_rulesViewModel; }
    VolumesViewModel* volumesViewModel() const { return m_volumesViewModel; }
    MenuBarViewModel* menuViewModel() const { return m_menuViewModel; }
    TarnwellController* controller() const { return m_controller; }
    const std::shared_ptr<LogService>& logger() const { return m_logger; }
    // The installed applications, as one reading shared by the monitor, preset discovery and the
    // Apps page.
    const std::shared_ptr<DesktopEntryCatalog>& desktopEntries() const { return m_desktopEntries; }
    // The identifiers of the presets' applications this machine has; follows the catalog.
    const QSet<QString>& installedPresetIdentifiers() const { return m_installedPresetIdentifiers; }

    // Built when first asked for, so that a run whose Diagnostics page is never shown connects to
    // nothing it only needs for the checks.
    DiagnosticsViewModel* diagnosticsViewModel();

    // Resolves once the start-up sequence has finished or was cancelled.
    QCoro::Task<> startupFinished();

    QCoro::Task<> refreshDriveStatusForMenuPresentation();
    QCoro::Task<> mountMissingTargets();
    QCoro::Task<> unmountReadyTargets();
    // Returns how many lines were copied, so the control that asked can say so.
    qsizetype copyLogsToPasteboard() const;
    // Resolves to what to tell the user when the change failed or could not be kept, or nothing.
    QCoro::Task<std::optional<QString>> setLaunchAtLogin(bool enabled);
    // Reloads the stored configuration before the settings window is shown.
    QCoro::Task<> reloadRuleForSettings();

    // The window-opening action of the user interface, given the window's identifier. On Linux it
    // also brings the application forward: raising and activating its window is how a desktop
    // application comes to the front there.
    using OpenWindow = std::function<void(const QString& identifier)>;
    static constexpr const char* settingsWindowIdentifier = "settings";
    // Opens the one main window at once, then reloads the rule for its pages to fill in.
    void openSettings(OpenWindow openWindow);

    // Publishes a configuration to every view model without waiting for the controller.
    void applyConfigurationLocally(TarnwellConfiguration configuration, bool rebuildSettingsViewModel);
    QCoro::Task<> applyRuleChange(DriveRule rule);

Q_SIGNALS:
    void ruleChanged();
    void settingsViewModelChanged();
    void startupCompleted();
    void installedPresetIdentifiersChanged();

private:
    SettingsViewModel* makeSettingsViewModel(const DriveRule& rule);
    void replaceSettingsViewModel(SettingsViewModel* viewModel);
    void subscribe();
    void installApplicationCallbacks();
    void followDriveChanges();
    // Reads the volumes and the rules' targets again after the drives changed; changes that come
    // while it runs are read once more after it.
    QCoro::Task<> readDrivesAfterChange();
    QCoro::Task<> runStartup(std::stop_token stop);
    QCoro::Task<> applyConfigurationChange(TarnwellConfiguration configuration);
    static QCoro::Task<> reloadThenOpen(QPointer<TarnwellContainer> container, OpenWindow openWindow);
    // Holds the system's sleep back while an auto-unmount is pending, and runs those unmounts at
    // once when the system is about to sleep.
    void followSystemSleep();
    QCoro::Task<> unmountBeforeSleep();
    // An application installed or removed while Tarnwell runs: the presets gain its identifiers
    // and the controller and the monitor follow at once, not at the next reload.
    void followInstalledApplications();
    QCoro::Task<> applyInstalledApplications();

    std::shared_ptr<AppPresetService> m_appPresetService;
    std::shared_ptr<RuleServicing> m_ruleService;
    std::shared_ptr<DiskServicing> m_diskService;
    std::shared_ptr<StorageTargetServicing> m_storageTargetService;
    std::shared_ptr<AppMonitorService> m_appMonitorService;
    std::shared_ptr<DesktopEntryCatalog> m_desktopEntries;
    std::shared_ptr<DriveChangeSource> m_driveChanges;
    std::shared_ptr<NotificationServicing> m_notificationService;
    std::shared_ptr<LogService> m_logger;
    std::shared_ptr<LoginItemServicing> m_loginItemService;
    SettingsViewModel::AppSelection m_appSelection;
    SettingsViewModel::ApplicationReader m_readApplication;
    std::shared_ptr<SaveRecordingRuleService> m_saveRecorder;
    DiagnosticsViewModel::Probes m_healthProbes;
    QPointer<DiagnosticsViewModel> m_diagnosticsViewModel;

    TarnwellConfiguration m_configuration;
    DriveRule m_rule;
    QPointer<TarnwellController> m_controller;
    QPointer<MenuBarViewModel> m_menuViewModel;
    QPointer<DashboardViewModel> m_dashboardViewModel;
    QPointer<RulesViewModel> m_rulesViewModel;
    QPointer<VolumesViewModel> m_volumesViewModel;
    QPointer<SettingsViewModel> m_settingsViewModel;

    std::stop_source m_startupStop;
    bool m_startupDone = false;
    bool m_readingDrives = false;
    bool m_drivesChangedAgain = false;
    std::shared_ptr<SystemSleepSource> m_systemSleep;
    QSet<QString> m_installedPresetIdentifiers;
};

} // namespace tarnwell
