#pragma once

#include "core/model/DriveInfo.h"
#include "core/model/RuleServicing.h"
#include "core/model/TarnwellConfiguration.h"

#include <QCoroTask>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwell {

// Edits the storage rules. Every change is saved first; only a successful save is published and
// handed on through onConfigurationChanged. A failed save keeps the previous configuration,
// publishes it again, so controls snap back, and shows the error's text.
class RulesViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::TarnwellConfiguration configuration READ configuration NOTIFY configurationChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    using ConfigurationHandler = std::function<QCoro::Task<>(TarnwellConfiguration)>;

    RulesViewModel(TarnwellConfiguration configuration, std::shared_ptr<RuleServicing> ruleService,
                   QObject* parent = nullptr);

    const TarnwellConfiguration& configuration() const { return m_configuration; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }

    // Called after every successful save; the composition root sets it.
    ConfigurationHandler onConfigurationChanged;

    // Replaces the configuration without saving or handing it on.
    void update(TarnwellConfiguration configuration);

    QCoro::Task<std::optional<StorageTargetRule>> addRule(DriveInfo volume);
    QCoro::Task<std::optional<StorageTargetRule>> addLocalVolumeRule(DriveInfo volume);
    QCoro::Task<> setRuleEnabled(QUuid ruleID, bool isEnabled);
    QCoro::Task<> setRuleName(QString name, QUuid ruleID);
    QCoro::Task<> rebindRule(QUuid ruleID, DriveInfo volume);
    QCoro::Task<> setMountOnAppLaunch(bool value, QUuid ruleID);
    QCoro::Task<> setPostQuitAction(PostQuitAction action, QUuid ruleID);
    QCoro::Task<> setUnmountDelaySeconds(qint64 seconds, QUuid ruleID);
    QCoro::Task<> setShowNotifications(bool value, QUuid ruleID);
    // Sets the notifications of every rule in one save.
    QCoro::Task<> setShowNotificationsForAllRules(bool value);
    QCoro::Task<> bindAppTrigger(QUuid triggerID, QUuid ruleID);
    QCoro::Task<> unbindAppTrigger(QUuid triggerID, QUuid ruleID);
    QCoro::Task<> setBoundAppTriggerIDs(QList<QUuid> triggerIDs, QUuid ruleID);
    QCoro::Task<> deleteRule(QUuid ruleID);

    // The local-volume target of a listed volume; whether it is mounted is not part of a target.
    static LocalVolumeTarget target(const DriveInfo& volume);

Q_SIGNALS:
    void configurationChanged();
    void errorMessageChanged();

private:
    // Saves, publishes and hands on; false when the save failed.
    QCoro::Task<bool> persist(TarnwellConfiguration configuration);
    QCoro::Task<> updateRule(QUuid ruleID, std::function<void(StorageTargetRule&)> change);
    void setErrorMessage(std::optional<QString> message);

    TarnwellConfiguration m_configuration;
    std::optional<QString> m_errorMessage;
    std::shared_ptr<RuleServicing> m_ruleService;
};

} // namespace tarnwell
