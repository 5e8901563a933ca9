#include "app/TarnwellContainer.h"

#include "app/LegacySettingsRuleServiceAdapter.h"
#include "app/SaveRecordingRuleService.h"
#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/StorageTargetService.h"
#include "core/model/ApplicationBundleDiscovery.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "core/support/Localization.h"
#include "core/support/Observe.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationService.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/linux/AutostartProbe.h"
#include "platform/linux/ChosenApplicationReader.h"
#include "platform/linux/ConfigurationProbe.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "platform/linux/DesktopEntryPresetDiscovery.h"
#include "platform/linux/DiskToolProbe.h"
#include "platform/linux/DriveChangeWatcher.h"
#include "platform/linux/DrivesProbe.h"
#include "platform/linux/EditorsProbe.h"
#include "platform/linux/LogindSleepService.h"
#include "platform/linux/MountingProbe.h"
#include "platform/linux/NotificationServerProbe.h"
#include "platform/linux/ProcessApplicationEventSource.h"
#include "platform/linux/TrayProbe.h"

#include <QClipboard>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <chrono>

namespace tarnwell {

namespace {

// A commands' end is awaited this long when the application quits: past the runner's kill signal.
constexpr auto stopGracePeriod = std::chrono::milliseconds(900);

void recordFailure(const std::weak_ptr<LogService>& log, const QString& prefix, std::exception_ptr error) {
    const QString line = prefix + userFacingMessage(std::move(error));
    if (const auto logger = log.lock()) {
        logger->record(line);
    } else {
        qWarning("%s", qUtf8Printable(line));
    }
}

// Fire-and-forget tasks lose their exceptions, so each forwarding task ends every path itself.
QCoro::Task<> forwardApplicationEvent(std::weak_ptr<LogService> log, QPointer<TarnwellController> controller,
                                      QString bundleIdentifier, bool launched) {
    try {
        if (controller && launched) {
            co_await controller->handleAppLaunched(std::move(bundleIdentifier));
        } else if (controller) {
            co_await controller->handleAppTerminated(std::move(bundleIdentifier));
        }
    } catch (...) {
        recordFailure(log,
                      launched ? localized("Launch handling failed: ")
                               : localized("Termination handling failed: "),
                      std::current_exception());
    }
}

// The controller hears of the event from the event loop, never inside the monitor's own signal.
void forwardLater(const std::weak_ptr<LogService>& log, const QPointer<TarnwellController>& controller,
                  const QString& bundleIdentifier, bool launched) {
    if (!controller) {
        return;
    }
    QMetaObject::invokeMethod(
        controller.data(),
        [log, controller, bundleIdentifier, launched] {
            forwardApplicationEvent(log, controller, bundleIdentifier, launched);
        },
        Qt::QueuedConnection);
}

QCoro::Task<> updateController(QPointer<TarnwellController> controller, TarnwellConfiguration configuration) {
    if (controller) {
        co_await controller->updateConfiguration(std::move(configuration));
    }
}

QCoro::Task<std::optional<QString>> noApplicationSelection() {
    co_return std::nullopt;
}

} // namespace

TarnwellContainer::TarnwellContainer(Dependencies dependencies, QObject* parent)
    : QObject(parent) {
    m_desktopEntries =
        dependencies.desktopEntries ? dependencies.desktopEntries : std::make_shared<DesktopEntryCatalog>();
    m_appPresetService =
        dependencies.appPresetService
            ? dependencies.appPresetService
            : std::make_shared<AppPresetService>(QList<std::shared_ptr<const PresetDiscovering>>{
                  std::make_shared<ApplicationBundleDiscovery>(),
                  std::make_shared<DesktopEntryPresetDiscovery>(m_desktopEntries)});
    m_ruleService =
        dependencies.ruleService
            ? dependencies.ruleService
            : std::make_shared<RuleService>(std::make_shared<SettingsPreferencesStore>(), m_appPresetService);
    // Every save goes through here, so the diagnostics can tell how the last one went.
    m_saveRecorder = std::make_shared<SaveRecordingRuleService>(m_ruleService);
    m_ruleService = m_saveRecorder;
    m_healthProbes = std::move(dependencies.healthProbes);
    m_diskService = dependencies.diskService ? dependencies.diskService : std::make_shared<DiskService>();
    m_driveChanges =
        dependencies.driveChanges ? dependencies.driveChanges : std::make_shared<DriveChangeWatcher>();
    m_storageTargetService =
        std::make_shared<StorageTargetService>(std::make_shared<LocalVolumeTargetService>(m_diskService));
    m_appMonitorService =
        dependencies.appMonitorService
            ? dependencies.appMonitorService
            : std::make_shared<AppMonitorService>(
                  std::make_shared<ProcessApplicationEventSource>(ProcessIdentifier(m_desktopEntries)));
    m_notificationService = dependencies.notificationService ? dependencies.notificationService
                                                             : std::make_shared<NotificationService>();
    m_logger = dependencies.logger ? dependencies.logger : std::make_shared<LogService>();
    m_loginItemService =
        dependencies.loginItemService ? dependencies.loginItemService : std::make_shared<LoginItemService>();
    m_appSelection =
        dependencies.appSelection ? std::move(dependencies.appSelection) : noApplicationSelection;
    m_readApplication = dependencies.readApplication ? std::move(dependencies.readApplication)
                                                     : &ChosenApplicationReader::read;
    m_systemSleep =
        dependencies.systemSleep ? dependencies.systemSleep : std::make_shared<LogindSleepService>();

    TarnwellConfiguration configuration;
    try {
        configuration = m_ruleService->loadConfiguration();
    } catch (const std::exception& error) {
        configuration = TarnwellConfiguration::defaultConfiguration(
            m_appPresetService->presetsWithDiscoveredBundleIdentifiers());
        m_logger->record(localized("Failed to load drive rule: ") + userFacingMessage(error));
    }
    // The system's login item is the truth; the stored flag only remembers the last request.
    configuration.launchAtLogin = m_loginItemService->isLaunchAtLoginEnabled();
    m_configuration = configuration;
    m_rule = RuleService::rule(m_configuration);

    const std::weak_ptr<AppMonitorService> monitor = m_appMonitorService;
    m_controller = new TarnwellController(
        m_configuration, m_storageTargetService, m_notificationService, m_logger,
        [monitor] {
            const auto service = monitor.lock();
            return service ? service->runningBundleIdentifiers() : QSet<QString>{};
        },
        dependencies.delay ? std::move(dependencies.delay)
                           : TarnwellController::Delay(&TarnwellController::timerDelay),
        this);

    m_menuViewModel = new MenuBarViewModel(m_configuration, m_controller->targetStates(), this);
    m_installedPresetIdentifiers = m_appPresetService->installedPresetIdentifiers();
    m_menuViewModel->setInstalledPresetIdentifiers(m_installedPresetIdentifiers);
    m_dashboardViewModel =
        new DashboardViewModel(m_configuration, m_controller->targetStates(),
                               m_controller->runningBundleIdentifiers(), m_logger->entries(), this);
    m_rulesViewModel = new RulesViewModel(m_configuration, m_ruleService, this);
    m_volumesViewModel = new VolumesViewModel(m_configuration, m_diskService, m_ruleService, this);
    m_settingsViewModel = makeSettingsViewModel(m_rule);

    const QPointer<TarnwellContainer> self(this);
    const auto onConfigurationChanged = [self](TarnwellConfiguration changed) -> QCoro::Task<> {
        if (!self) {
            return []() -> QCoro::Task<> { co_return; }();
        }
        return self->applyConfigurationChange(std::move(changed));
    };
    m_rulesViewModel->onConfigurationChanged = onConfigurationChanged;
    m_volumesViewModel->onConfigurationChanged = onConfigurationChanged;

    subscribe();
    installApplicationCallbacks();
    followDriveChanges();
    followSystemSleep();
    followInstalledApplications();
    m_appMonitorService->watchApplications(TarnwellController::boundBundleIdentifiers(m_configuration));
    m_appMonitorService->start();
    // Construction never waits, and start-up work never runs inside it, even when the permission
    // answers at once.
    QMetaObject::invokeMethod(
        this, [this] { runStartup(m_startupStop.get_token()); }, Qt::QueuedConnection);
}

DiagnosticsViewModel* TarnwellContainer::diagnosticsViewModel() {
    if (m_diagnosticsViewModel) {
        return m_diagnosticsViewModel;
    }
    if (m_healthProbes.isEmpty()) {
        const auto* diskTool = dynamic_cast<const DiskService*>(m_diskService.get());
        m_healthProbes = {std::make_shared<DiskToolProbe>(diskTool ? diskTool->diskutilPath()
                                                                   : DiskService::defaultDiskutilPath()),
                          std::make_shared<MountingProbe>(),
                          std::make_shared<NotificationServerProbe>(),
                          std::make_shared<TrayProbe>(),
                          std::make_shared<AutostartProbe>(),
                          std::make_shared<EditorsProbe>(m_desktopEntries),
                          std::make_shared<ConfigurationProbe>(),
                          std::make_shared<DrivesProbe>(m_diskService)};
    }
    const QPointer<TarnwellContainer> self(this);
    m_diagnosticsViewModel = new DiagnosticsViewModel(
        m_healthProbes,
        [self]() -> HealthInputs {
            if (!self) {
                return {};
            }
            return {self->m_configuration, self->m_controller->targetStates(),
                    self->m_appMonitorService->applicationWatches(), self->m_saveRecorder->lastSave()};
        },
        m_logger, DiagnosticsViewModel::defaultTimeLimit, this);
    return m_diagnosticsViewModel;
}

TarnwellContainer::~TarnwellContainer() {
    m_startupStop.request_stop();
    // The monitor may be shared and outlive us; launches reported later must reach nobody.
    m_appMonitorService->onLaunch = nullptr;
    m_appMonitorService->onTerminate = nullptr;
    m_appMonitorService->onNotice = nullptr;
    // The controller goes first, so that the commands ended below report to nobody.
    delete m_controller.data();
    m_diskService->stop();
    // Quitting has left the event loop, so a command's end (its reaping and the removal of its
    // capture files) is awaited here, for a bounded time.
    if (m_diskService->hasCommandsInFlight()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
            if (!m_diskService->hasCommandsInFlight()) {
                loop.quit();
            }
        });
        QTimer::singleShot(stopGracePeriod, &loop, &QEventLoop::quit);
        poll.start(10);
        loop.exec();
    }
}

void TarnwellContainer::subscribe() {
    observe(
        m_controller.data(), &TarnwellController::statusChanged, &TarnwellController::status,
        [this](const TarnwellStatus& status) { m_menuViewModel->update(std::nullopt, std::nullopt, status); },
        this);
    observe(
        m_controller.data(), &TarnwellController::targetStatesChanged, &TarnwellController::targetStates,
        [this](const QList<StorageTargetState>& states) {
            m_menuViewModel->update(std::nullopt, states);
            m_dashboardViewModel->update(std::nullopt, states);
        },
        this);
    observe(
        m_controller.data(), &TarnwellController::runningBundleIdentifiersChanged,
        &TarnwellController::runningBundleIdentifiers,
        [this](const QSet<QString>& identifiers) {
            m_dashboardViewModel->update(std::nullopt, std::nullopt, identifiers);
        },
        this);
    observe(
        m_controller.data(), &TarnwellController::statusCheckedAtChanged,
        &TarnwellController::statusCheckedAt,
        [this](const QDateTime& checkedAt) { m_dashboardViewModel->setStatusCheckedAt(checkedAt); }, this);
    observe(
        m_logger.get(), &LogService::entriesChanged, &LogService::entries,
        [this](const QList<QString>& entries) {
            m_dashboardViewModel->update(std::nullopt, std::nullopt, std::nullopt, entries);
        },
        this);
}

void TarnwellContainer::followDriveChanges() {
    connect(m_driveChanges.get(), &DriveChangeSource::noticed, this,
            [this](const QString& message) { m_logger->record(message); });
    connect(m_driveChanges.get(), &DriveChangeSource::changed, this, [this] { readDrivesAfterChange(); });
    m_driveChanges->start();
}

// Fire-and-forget: every path ends here, failures in the log.
QCoro::Task<> TarnwellContainer::readDrivesAfterChange() {
    if (std::exchange(m_readingDrives, true)) {
        m_drivesChangedAgain = true;
        co_return;
    }
    const QPointer<TarnwellContainer> self(this);
    const std::weak_ptr<LogService> log = m_logger;
    do {
        m_drivesChangedAgain = false;
        const QPointer<VolumesViewModel> volumes = m_volumesViewModel;
        const QPointer<TarnwellController> controller = m_controller;
        try {
            if (volumes) {
                co_await volumes->refreshVolumes();
            }
            if (controller) {
                co_await controller->handleDrivesChanged();
            }
        } catch (...) {
            recordFailure(log, localized("Drive change handling failed: "), std::current_exception());
        }
        if (!self) {
            co_return;
        }
    } while (m_drivesChangedAgain);
    m_readingDrives = false;
}

void TarnwellContainer::followInstalledApplications() {
    connect(m_desktopEntries.get(), &DesktopEntryCatalog::changed, this,
            [this] { applyInstalledApplications(); });
}

// Fire-and-forget: every path ends here, failures in the log.
QCoro::Task<> TarnwellContainer::applyInstalledApplications() {
    const QPointer<TarnwellContainer> self(this);
    try {
        const QSet<QString> installed = m_appPresetService->installedPresetIdentifiers();
        if (installed != m_installedPresetIdentifiers) {
            m_installedPresetIdentifiers = installed;
            m_menuViewModel->setInstalledPresetIdentifiers(installed);
            Q_EMIT installedPresetIdentifiersChanged();
        }
        TarnwellConfiguration changed = m_configuration;
        changed.appTriggers =
            m_appPresetService->mergeDiscoveredPresets(DriveRule::defaultRule(changed.appTriggers))
                .appTriggers;
        if (changed.appTriggers != m_configuration.appTriggers) {
            co_await applyConfigurationChange(std::move(changed));
        }
    } catch (...) {
        if (self) {
            recordFailure(m_logger, localized("Following the installed applications failed: "),
                          std::current_exception());
        }
    }
}

void TarnwellContainer::installApplicationCallbacks() {
    const std::weak_ptr<LogService> log = m_logger;
    const QPointer<TarnwellController> controller = m_controller;
    m_appMonitorService->onLaunch = [log, controller](const QString& bundleIdentifier) {
        if (const auto logger = log.lock()) {
            logger->record(localized("Observed app launch: ") + bundleIdentifier);
        }
        forwardLater(log, controller, bundleIdentifier, true);
    };
    m_appMonitorService->onTerminate = [log, controller](const QString& bundleIdentifier) {
        if (const auto logger = log.lock()) {
            logger->record(localized("Observed app termination: ") + bundleIdentifier);
        }
        forwardLater(log, controller, bundleIdentifier, false);
    };
    m_appMonitorService->onNotice = [log](const QString& message) {
        if (const auto logger = log.lock()) {
            logger->record(message);
        }
    };
}

QCoro::Task<> TarnwellContainer::runStartup(std::stop_token stop) {
    const QPointer<TarnwellContainer> self(this);
    try {
        const std::shared_ptr<NotificationServicing> notifications = m_notificationService;
        co_await notifications->requestAuthorizationIfNeeded();
        if (!self || stop.stop_requested()) {
            co_return;
        }
        co_await updateController(m_controller, m_configuration);
        if (!self || stop.stop_requested()) {
            co_return;
        }
        const QPointer<TarnwellController> controller = m_controller;
        if (controller) {
            co_await controller->refreshDriveStatus();
        }
        // The add menu and the volume picker offer the drives from the first minute on.
        const QPointer<VolumesViewModel> volumes = m_volumesViewModel;
        if (volumes && !stop.stop_requested()) {
            co_await volumes->refreshVolumes();
        }
    } catch (...) {
        if (self) {
            recordFailure(m_logger, localized("Start-up failed: "), std::current_exception());
        }
    }
    if (self) {
        self->m_startupDone = true;
        Q_EMIT self->startupCompleted();
    }
}

QCoro::Task<> TarnwellContainer::startupFinished() {
    if (!m_startupDone) {
        co_await qCoro(this, &TarnwellContainer::startupCompleted);
    }
}

QCoro::Task<> TarnwellContainer::applyConfigurationChange(TarnwellConfiguration configuration) {
    applyConfigurationLocally(std::move(configuration), false);
    co_await updateController(m_controller, m_configuration);
}

void TarnwellContainer::applyConfigurationLocally(TarnwellConfiguration configuration,
                                                  bool rebuildSettingsViewModel) {
    m_configuration = std::move(configuration);
    m_rule = RuleService::rule(m_configuration);
    m_appMonitorService->watchApplications(TarnwellController::boundBundleIdentifiers(m_configuration));
    Q_EMIT ruleChanged();
    m_menuViewModel->update(m_configuration,
                            m_controller ? m_controller->targetStates() : QList<StorageTargetState>{});
    m_dashboardViewModel->update(m_configuration);
    m_rulesViewModel->update(m_configuration);
    m_volumesViewModel->update(m_configuration);
    if (rebuildSettingsViewModel) {
        replaceSettingsViewModel(makeSettingsViewModel(m_rule));
    } else {
        m_settingsViewModel->setRule(m_rule);
    }
}

SettingsViewModel* TarnwellContainer::makeSettingsViewModel(const DriveRule& rule) {
    const QPointer<TarnwellContainer> self(this);
    const QList<AppTrigger> fallbackTriggers = rule.appTriggers;
    auto adapter = std::make_shared<LegacySettingsRuleServiceAdapter>(
        m_ruleService,
        [self, fallbackTriggers] {
            return self ? self->m_configuration
                        : TarnwellConfiguration::defaultConfiguration(fallbackTriggers);
        },
        [self](const TarnwellConfiguration& saved) {
            if (!self) {
                return;
            }
            self->m_configuration.storageRules = saved.storageRules;
            self->m_configuration.appTriggers = saved.appTriggers;
            self->m_configuration.showAllVolumes = saved.showAllVolumes;
            self->m_configuration.launchAtLogin = saved.launchAtLogin;
        });
    const std::weak_ptr<LogService> log = m_logger;
    return new SettingsViewModel(
        rule, adapter, m_diskService, m_loginItemService, m_appSelection, m_readApplication,
        [log](const QString& message) {
            if (const auto logger = log.lock()) {
                logger->record(message);
            }
        },
        [self](DriveRule changed) -> QCoro::Task<> {
            if (!self) {
                return []() -> QCoro::Task<> { co_return; }();
            }
            return self->applyRuleChange(std::move(changed));
        },
        this);
}

void TarnwellContainer::replaceSettingsViewModel(SettingsViewModel* viewModel) {
    // The old view model may still have a task suspended in it, so it goes once control returns.
    if (m_settingsViewModel) {
        m_settingsViewModel->deleteLater();
    }
    m_settingsViewModel = viewModel;
    Q_EMIT settingsViewModelChanged();
}

QCoro::Task<> TarnwellContainer::applyRuleChange(DriveRule rule) {
    applyConfigurationLocally(LegacySettingsRuleServiceAdapter::mergedConfiguration(rule, m_configuration),
                              false);
    co_await updateController(m_controller, m_configuration);
}

QCoro::Task<> TarnwellContainer::refreshDriveStatusForMenuPresentation() {
    const QPointer<TarnwellController> controller = m_controller;
    if (controller) {
        co_await controller->refreshDriveStatus();
    }
}

QCoro::Task<> TarnwellContainer::mountMissingTargets() {
    const QPointer<TarnwellController> controller = m_controller;
    if (controller) {
        co_await controller->mountMissingTargets();
    }
}

QCoro::Task<> TarnwellContainer::unmountReadyTargets() {
    const QPointer<TarnwellController> controller = m_controller;
    if (controller) {
        co_await controller->unmountReadyTargets();
    }
}

qsizetype TarnwellContainer::copyLogsToPasteboard() const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_logger->copyableText());
    return m_logger->entries().size();
}

QCoro::Task<std::optional<QString>> TarnwellContainer::setLaunchAtLogin(bool enabled) {
    try {
        m_loginItemService->setLaunchAtLogin(enabled);
    } catch (const std::exception& error) {
        m_logger->record(localized("Failed to update launch at login: ") + userFacingMessage(error));
        co_return localizedFormat("Launch at login could not be changed: %@", {userFacingMessage(error)});
    }
    std::optional<QString> notice;
    TarnwellConfiguration changed = m_configuration;
    changed.launchAtLogin = m_loginItemService->isLaunchAtLoginEnabled();
    applyConfigurationLocally(changed, false);
    try {
        m_ruleService->saveConfiguration(changed);
    } catch (const std::exception& error) {
        m_logger->record(localized("Launch-at-login system state is ") +
                         (changed.launchAtLogin ? localized("enabled") : localized("disabled")) +
                         localized(", but failed to save drive configuration: ") + userFacingMessage(error));
        notice = localizedFormat(changed.launchAtLogin ? "Launch at login is on, but could not be saved: %@"
                                                       : "Launch at login is off, but could not be saved: %@",
                                 {userFacingMessage(error)});
    }
    co_await updateController(m_controller, m_configuration);
    co_return notice;
}

QCoro::Task<> TarnwellContainer::reloadRuleForSettings() {
    TarnwellConfiguration loaded;
    try {
        loaded = m_ruleService->loadConfiguration();
    } catch (const std::exception& error) {
        m_logger->record(localized("Failed to reload drive rule for settings: ") + userFacingMessage(error));
        replaceSettingsViewModel(makeSettingsViewModel(m_rule));
        co_return;
    }
    loaded.launchAtLogin = m_loginItemService->isLaunchAtLoginEnabled();
    applyConfigurationLocally(std::move(loaded), true);
    co_await updateController(m_controller, m_configuration);
}

void TarnwellContainer::openSettings(OpenWindow openWindow) {
    reloadThenOpen(this, std::move(openWindow));
}

QCoro::Task<> TarnwellContainer::reloadThenOpen(QPointer<TarnwellContainer> container,
                                                OpenWindow openWindow) {
    if (!container) {
        co_return;
    }
    // The window shows what the container holds now; the reload fills its pages in afterwards,
    // once it has been painted.
    if (openWindow) {
        openWindow(QString::fromLatin1(settingsWindowIdentifier));
    }
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!container) {
        co_return;
    }
    try {
        co_await container->reloadRuleForSettings();
    } catch (const std::exception& error) {
        // The window still opens: it shows the last known configuration.
        if (container) {
            container->m_logger->record(localized("Failed to reload drive rule for settings: ") +
                                        userFacingMessage(error));
        }
    }
}

void TarnwellContainer::followSystemSleep() {
    connect(m_systemSleep.get(), &SystemSleepSource::noticed, this,
            [this](const QString& message) { m_logger->record(message); });
    observe(
        m_controller.data(), &TarnwellController::autoUnmountPendingChanged,
        &TarnwellController::autoUnmountPending,
        [this](bool pending) { m_systemSleep->setHoldingSleep(pending); }, this);
    connect(m_systemSleep.get(), &SystemSleepSource::aboutToSleep, this, [this] { unmountBeforeSleep(); });
}

// Fire-and-forget: every path ends here, failures in the log.
QCoro::Task<> TarnwellContainer::unmountBeforeSleep() {
    const QPointer<TarnwellController> controller = m_controller;
    if (!controller || !controller->autoUnmountPending()) {
        co_return;
    }
    m_logger->record(localized("The system is going to sleep; pending auto-unmounts run now."));
    const std::weak_ptr<LogService> log = m_logger;
    try {
        co_await controller->advancePendingAutoUnmounts();
    } catch (...) {
        recordFailure(log, localized("Unmounting before sleep failed: "), std::current_exception());
    }
}

} // namespace tarnwell
