#pragma once

#include "core/disk/DiskServicing.h"
#include "core/model/DriveRule.h"
#include "core/model/RuleServicing.h"
#include "platform/ChosenApplication.h"
#include "platform/LoginItemServicing.h"

#include <QCoroTask>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwell {

// Backs the settings pages: edits one DriveRule (merged into the first storage rule by the store
// it is given), lists the volumes to choose from and adds applications picked from disk. The
// published rule changes only through a successful save.
class SettingsViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::DriveRule rule READ rule WRITE setRule NOTIFY ruleChanged)
    Q_PROPERTY(QList<tarnwell::DriveInfo> availableDrives READ availableDrives NOTIFY availableDrivesChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // Asks the user for an application; nothing when the user cancels.
    using AppSelection = std::function<QCoro::Task<std::optional<QString>>()>;
    // Reads the identity of an application file; nothing when it names no identifier.
    using ApplicationReader = std::function<std::optional<ChosenApplication>(const QString& path)>;
    using ErrorHandler = std::function<void(const QString& message)>;
    using RuleHandler = std::function<QCoro::Task<>(DriveRule)>;

    SettingsViewModel(DriveRule rule, std::shared_ptr<RuleServicing> ruleService,
                      std::shared_ptr<DiskServicing> diskService,
                      std::shared_ptr<LoginItemServicing> loginItemService, AppSelection appSelection,
                      ApplicationReader readApplication, ErrorHandler onError = {},
                      RuleHandler onRuleChanged = {}, QObject* parent = nullptr);

    const DriveRule& rule() const { return m_rule; }
    // The composition root sets the rule directly when the configuration changed elsewhere.
    void setRule(DriveRule rule);
    const QList<DriveInfo>& availableDrives() const { return m_availableDrives; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }

    QCoro::Task<> refreshDrives();
    QCoro::Task<> selectDrive(DriveInfo drive);
    QCoro::Task<> clearSelectedDrive();
    QCoro::Task<> toggleTrigger(AppTrigger trigger, bool isEnabled);
    // Built-in presets are never removed.
    QCoro::Task<> removeTrigger(AppTrigger trigger);
    // Adds the chosen application's identifier to the given trigger, or adds a new trigger. The
    // selection given, when there is one, asks the user instead of the view model's own. While one
    // choice is open, another does nothing: the same application could otherwise be added twice.
    QCoro::Task<> chooseApp(std::optional<AppTrigger> trigger, AppSelection selection = {});
    QCoro::Task<> setLaunchAtLogin(bool enabled);
    QCoro::Task<> setShowAllVolumes(bool showAll);
    QCoro::Task<> setMountOnAppLaunch(bool value);
    QCoro::Task<> setShowNotifications(bool value);
    QCoro::Task<> setPostQuitAction(PostQuitAction action);
    // Negative delays are stored as 0.
    QCoro::Task<> setUnmountDelaySeconds(qint64 seconds);
    QCoro::Task<> save();

Q_SIGNALS:
    void ruleChanged();
    void availableDrivesChanged();
    void errorMessageChanged();

private:
    // Saves, publishes and hands on; false when the save failed.
    QCoro::Task<bool> persistRule(DriveRule rule);
    void setErrorMessage(std::optional<QString> message);

    DriveRule m_rule;
    QList<DriveInfo> m_availableDrives;
    std::optional<QString> m_errorMessage;
    std::shared_ptr<RuleServicing> m_ruleService;
    std::shared_ptr<DiskServicing> m_diskService;
    std::shared_ptr<LoginItemServicing> m_loginItemService;
    AppSelection m_appSelection;
    ApplicationReader m_readApplication;
    ErrorHandler m_onError;
    RuleHandler m_onRuleChanged;
    bool m_isChoosingApp = false;
};

} // namespace tarnwell
