#include "app/SettingsViewModel.h"

#include "core/model/TarnwellError.h"
#include "core/support/Localization.h"

#include <QFileInfo>
#include <QPointer>
#include <algorithm>

namespace tarnwell {

SettingsViewModel::SettingsViewModel(DriveRule rule, std::shared_ptr<RuleServicing> ruleService,
                                     std::shared_ptr<DiskServicing> diskService,
                                     std::shared_ptr<LoginItemServicing> loginItemService,
                                     AppSelection appSelection, ApplicationReader readApplication,
                                     ErrorHandler onError, RuleHandler onRuleChanged, QObject* parent)
    : QObject(parent)
    , m_rule(std::move(rule))
    , m_ruleService(std::move(ruleService))
    , m_diskService(std::move(diskService))
    , m_loginItemService(std::move(loginItemService))
    , m_appSelection(std::move(appSelection))
    , m_readApplication(std::move(readApplication))
    , m_onError(std::move(onError))
    , m_onRuleChanged(std::move(onRuleChanged)) {
}

void SettingsViewModel::setRule(DriveRule rule) {
    m_rule = std::move(rule);
    Q_EMIT ruleChanged();
}

void SettingsViewModel::setErrorMessage(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

QCoro::Task<bool> SettingsViewModel::persistRule(DriveRule rule) {
    try {
        m_ruleService->saveRule(rule);
    } catch (const std::exception& error) {
        const QString message = userFacingMessage(error);
        setErrorMessage(message);
        if (m_onError) {
            m_onError(localized("Failed to save drive rule: ") + message);
        }
        // The control that asked for the change shows the stored value again.
        Q_EMIT ruleChanged();
        co_return false;
    }
    setRule(rule);
    setErrorMessage(std::nullopt);
    if (m_onRuleChanged) {
        co_await m_onRuleChanged(std::move(rule));
    }
    co_return true;
}

QCoro::Task<> SettingsViewModel::refreshDrives() {
    QPointer<SettingsViewModel> self(this);
    const std::shared_ptr<DiskServicing> diskService = m_diskService;
    try {
        QList<DriveInfo> drives = co_await diskService->listMountedVolumes(m_rule.showAllVolumes);
        if (!self) {
            co_return;
        }
        m_availableDrives = std::move(drives);
        Q_EMIT availableDrivesChanged();
        setErrorMessage(std::nullopt);
    } catch (const std::exception& error) {
        if (self) {
            setErrorMessage(userFacingMessage(error));
        }
    }
}

QCoro::Task<> SettingsViewModel::selectDrive(DriveInfo drive) {
    DriveRule changed = m_rule;
    changed.targetDrive = std::move(drive);
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::clearSelectedDrive() {
    DriveRule changed = m_rule;
    changed.targetDrive.reset();
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::toggleTrigger(AppTrigger trigger, bool isEnabled) {
    DriveRule changed = m_rule;
    const auto found = std::find_if(changed.appTriggers.begin(), changed.appTriggers.end(),
                                    [&](const AppTrigger& candidate) { return candidate.id == trigger.id; });
    if (found == changed.appTriggers.end()) {
        co_return;
    }
    found->isEnabled = isEnabled;
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::removeTrigger(AppTrigger trigger) {
    if (trigger.isBuiltInPreset) {
        co_return;
    }
    DriveRule changed = m_rule;
    changed.appTriggers.removeIf([&](const AppTrigger& candidate) { return candidate.id == trigger.id; });
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::chooseApp(std::optional<AppTrigger> trigger, AppSelection selection) {
    if (m_isChoosingApp) {
        co_return;
    }
    QPointer<SettingsViewModel> self(this);
    const AppSelection appSelection = selection ? std::move(selection) : m_appSelection;
    std::optional<QString> path;
    if (appSelection) {
        m_isChoosingApp = true;
        try {
            path = co_await appSelection();
        } catch (...) {
            if (self) {
                m_isChoosingApp = false;
            }
            throw;
        }
    }
    if (!self) {
        co_return;
    }
    m_isChoosingApp = false;
    if (!path) {
        co_return;
    }
    const std::optional<ChosenApplication> application = m_readApplication(*path);
    if (!application || application->bundleIdentifier.isEmpty()) {
        setErrorMessage(localized("Selected app does not have a bundle identifier."));
        co_return;
    }
    DriveRule changed = m_rule;
    const auto existing =
        trigger ? std::find_if(changed.appTriggers.begin(), changed.appTriggers.end(),
                               [&](const AppTrigger& candidate) { return candidate.id == trigger->id; })
                : changed.appTriggers.end();
    if (existing != changed.appTriggers.end()) {
        if (!existing->bundleIdentifiers.contains(application->bundleIdentifier)) {
            existing->bundleIdentifiers.append(application->bundleIdentifier);
        }
        existing->appPath = *path;
    } else {
        const QString displayName = application->displayName.isEmpty() ? QFileInfo(*path).completeBaseName()
                                                                       : application->displayName;
        changed.appTriggers.append(AppTrigger{
            QUuid::createUuid(), displayName, {application->bundleIdentifier}, true, false, *path});
    }
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::setLaunchAtLogin(bool enabled) {
    try {
        m_loginItemService->setLaunchAtLogin(enabled);
    } catch (const std::exception& error) {
        const QString message = userFacingMessage(error);
        setErrorMessage(message);
        if (m_onError) {
            m_onError(localized("Failed to update launch at login: ") + message);
        }
        co_return;
    }
    // The system's state is what counts, even when it differs from the request.
    DriveRule changed = m_rule;
    changed.launchAtLogin = m_loginItemService->isLaunchAtLoginEnabled();
    try {
        m_ruleService->saveRule(changed);
        setRule(changed);
        setErrorMessage(std::nullopt);
    } catch (const std::exception& error) {
        const QString message = userFacingMessage(error);
        setRule(changed);
        setErrorMessage(message);
        if (m_onError) {
            m_onError(localized("Launch-at-login system state is ") +
                      (changed.launchAtLogin ? localized("enabled") : localized("disabled")) +
                      localized(", but failed to save drive rule: ") + message);
        }
    }
    if (m_onRuleChanged) {
        co_await m_onRuleChanged(std::move(changed));
    }
}

QCoro::Task<> SettingsViewModel::setShowAllVolumes(bool showAll) {
    DriveRule changed = m_rule;
    changed.showAllVolumes = showAll;
    QPointer<SettingsViewModel> self(this);
    const bool saved = co_await persistRule(std::move(changed));
    if (saved && self) {
        co_await self->refreshDrives();
    }
}

QCoro::Task<> SettingsViewModel::setMountOnAppLaunch(bool value) {
    DriveRule changed = m_rule;
    changed.mountOnAppLaunch = value;
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::setShowNotifications(bool value) {
    DriveRule changed = m_rule;
    changed.showNotifications = value;
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::setPostQuitAction(PostQuitAction action) {
    DriveRule changed = m_rule;
    changed.postQuitAction = action;
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::setUnmountDelaySeconds(qint64 seconds) {
    DriveRule changed = m_rule;
    changed.unmountDelaySeconds = std::max<qint64>(seconds, 0);
    co_await persistRule(std::move(changed));
}

QCoro::Task<> SettingsViewModel::save() {
    co_await persistRule(m_rule);
}

} // namespace tarnwell
