#include "app/RulesViewModel.h"

#include "core/model/TarnwellError.h"

#include <algorithm>

namespace tarnwell {

RulesViewModel::RulesViewModel(TarnwellConfiguration configuration,
                               std::shared_ptr<RuleServicing> ruleService, QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_ruleService(std::move(ruleService)) {
}

void RulesViewModel::update(TarnwellConfiguration configuration) {
    m_configuration = std::move(configuration);
    Q_EMIT configurationChanged();
}

void RulesViewModel::setErrorMessage(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

LocalVolumeTarget RulesViewModel::target(const DriveInfo& volume) {
    return LocalVolumeTarget{volume.volumeName, volume.volumeUUID,  volume.diskIdentifier, volume.fileSystem,
                             volume.mountPoint, volume.busProtocol, volume.isExternal};
}

QCoro::Task<bool> RulesViewModel::persist(TarnwellConfiguration configuration) {
    try {
        m_ruleService->saveConfiguration(configuration);
    } catch (const std::exception& error) {
        // The unchanged configuration is published again, so a control that already shows the
        // refused value goes back to the stored one.
        Q_EMIT configurationChanged();
        setErrorMessage(userFacingMessage(error));
        co_return false;
    }
    m_configuration = configuration;
    Q_EMIT configurationChanged();
    setErrorMessage(std::nullopt);
    if (onConfigurationChanged) {
        co_await onConfigurationChanged(std::move(configuration));
    }
    co_return true;
}

QCoro::Task<> RulesViewModel::updateRule(QUuid ruleID, std::function<void(StorageTargetRule&)> change) {
    TarnwellConfiguration changed = m_configuration;
    const auto rule =
        std::find_if(changed.storageRules.begin(), changed.storageRules.end(),
                     [&](const StorageTargetRule& candidate) { return candidate.id == ruleID; });
    if (rule == changed.storageRules.end()) {
        co_return;
    }
    change(*rule);
    if (changed == m_configuration) {
        co_return;
    }
    co_await persist(std::move(changed));
}

QCoro::Task<std::optional<StorageTargetRule>> RulesViewModel::addRule(DriveInfo volume) {
    return addLocalVolumeRule(std::move(volume));
}

QCoro::Task<std::optional<StorageTargetRule>> RulesViewModel::addLocalVolumeRule(DriveInfo volume) {
    StorageTargetRule rule;
    rule.id = QUuid::createUuid();
    rule.name = volume.volumeName;
    rule.target = target(volume);
    rule.mountOnAppLaunch = true;
    rule.postQuitAction = PostQuitAction::Remind;
    rule.unmountDelaySeconds = 15;
    rule.showNotifications = true;
    rule.isEnabled = true;
    const auto& rules = m_configuration.storageRules;
    rule.sortOrder = rules.isEmpty() ? 0
                                     : std::max_element(
                                           rules.begin(), rules.end(),
                                           [](const StorageTargetRule& left, const StorageTargetRule& right) {
                                               return left.sortOrder < right.sortOrder;
                                           })->sortOrder +
                                           1;
    TarnwellConfiguration changed = m_configuration;
    changed.storageRules.append(rule);
    const bool saved = co_await persist(std::move(changed));
    co_return saved ? std::optional(rule) : std::nullopt;
}

QCoro::Task<> RulesViewModel::setRuleEnabled(QUuid ruleID, bool isEnabled) {
    return updateRule(ruleID, [isEnabled](StorageTargetRule& rule) { rule.isEnabled = isEnabled; });
}

QCoro::Task<> RulesViewModel::setRuleName(QString name, QUuid ruleID) {
    return updateRule(ruleID, [name = name.trimmed()](StorageTargetRule& rule) {
        rule.name = name.isEmpty() ? rule.target.displayName() : name;
    });
}

QCoro::Task<> RulesViewModel::rebindRule(QUuid ruleID, DriveInfo volume) {
    return updateRule(ruleID, [volume = std::move(volume)](StorageTargetRule& rule) {
        const QString oldTargetName = rule.target.displayName();
        const QString currentName = rule.name.trimmed();
        rule.target = target(volume);
        // A name the user chose stays; a name that only repeated the old volume's follows the new one.
        if (currentName.isEmpty() || currentName == oldTargetName) {
            rule.name = volume.volumeName;
        }
    });
}

QCoro::Task<> RulesViewModel::setMountOnAppLaunch(bool value, QUuid ruleID) {
    return updateRule(ruleID, [value](StorageTargetRule& rule) { rule.mountOnAppLaunch = value; });
}

QCoro::Task<> RulesViewModel::setPostQuitAction(PostQuitAction action, QUuid ruleID) {
    return updateRule(ruleID, [action](StorageTargetRule& rule) { rule.postQuitAction = action; });
}

QCoro::Task<> RulesViewModel::setUnmountDelaySeconds(qint64 seconds, QUuid ruleID) {
    return updateRule(ruleID, [seconds](StorageTargetRule& rule) { rule.unmountDelaySeconds = seconds; });
}

QCoro::Task<> RulesViewModel::setShowNotifications(bool value, QUuid ruleID) {
    return updateRule(ruleID, [value](StorageTargetRule& rule) { rule.showNotifications = value; });
}

QCoro::Task<> RulesViewModel::setShowNotificationsForAllRules(bool value) {
    TarnwellConfiguration changed = m_configuration;
    for (StorageTargetRule& rule : changed.storageRules) {
        rule.showNotifications = value;
    }
    if (changed == m_configuration) {
        // Nothing to save, but the control that asked shows the stored value again.
        Q_EMIT configurationChanged();
        co_return;
    }
    co_await persist(std::move(changed));
}

QCoro::Task<> RulesViewModel::bindAppTrigger(QUuid triggerID, QUuid ruleID) {
    return updateRule(ruleID, [triggerID](StorageTargetRule& rule) {
        if (!rule.appTriggerIDs.contains(triggerID)) {
            rule.appTriggerIDs.append(triggerID);
        }
    });
}

QCoro::Task<> RulesViewModel::unbindAppTrigger(QUuid triggerID, QUuid ruleID) {
    return updateRule(ruleID,
                      [triggerID](StorageTargetRule& rule) { rule.appTriggerIDs.removeAll(triggerID); });
}

QCoro::Task<> RulesViewModel::setBoundAppTriggerIDs(QList<QUuid> triggerIDs, QUuid ruleID) {
    return updateRule(ruleID, [triggerIDs = std::move(triggerIDs)](StorageTargetRule& rule) {
        rule.appTriggerIDs = triggerIDs;
    });
}

QCoro::Task<> RulesViewModel::deleteRule(QUuid ruleID) {
    TarnwellConfiguration changed = m_configuration;
    changed.storageRules.removeIf([&](const StorageTargetRule& rule) { return rule.id == ruleID; });
    co_await persist(std::move(changed));
}

} // namespace tarnwell
