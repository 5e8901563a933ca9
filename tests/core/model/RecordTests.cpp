#include "core/model/AppPresetService.h"
#include "core/model/RuleService.h"
#include "core/model/StorageTargetRuntimeStatus.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

StorageTargetRule ruleWith(bool mountOnLaunch, PostQuitAction action) {
    StorageTargetRule rule;
    rule.mountOnAppLaunch = mountOnLaunch;
    rule.postQuitAction = action;
    return rule;
}

DriveInfo rushesDrive() {
    return DriveInfo{QStringLiteral("Rushes"),
                     QStringLiteral("VOL-1"),
                     QStringLiteral("sdb1"),
                     QStringLiteral("ExFAT"),
                     QStringLiteral("/media/Rushes"),
                     QStringLiteral("USB"),
                     true,
                     true};
}

} // namespace

TEST(StorageTargetRule, PolicySummaryNamesTheLaunchAndQuitBehaviour) {
    EXPECT_EQ(ruleWith(false, PostQuitAction::Off).policySummary(), QStringLiteral("No post-quit action"));
    EXPECT_EQ(ruleWith(false, PostQuitAction::Remind).policySummary(), QStringLiteral("Remind after quit"));
    EXPECT_EQ(ruleWith(true, PostQuitAction::AutoUnmount).policySummary(),
              QStringLiteral("Mount on launch, Auto-unmount after quit"));
}

TEST(StorageTargetRule, BindingIgnoresTheTriggersOwnEnabledFlag) {
    AppTrigger trigger{QUuid::createUuid(), QStringLiteral("Editor"), {}, false, false, std::nullopt};
    StorageTargetRule rule;
    EXPECT_FALSE(rule.isBound(trigger));
    rule.appTriggerIDs = {trigger.id};
    EXPECT_TRUE(rule.isBound(trigger));
}

TEST(StorageTargetRuntimeStatus, OnlyIdleOrFailedMountStatesAllowAManualMount) {
    EXPECT_TRUE(StorageTargetRuntimeStatus::notConfigured().canRequestManualMount());
    EXPECT_TRUE(StorageTargetRuntimeStatus::notMounted().canRequestManualMount());
    EXPECT_TRUE(StorageTargetRuntimeStatus::targetNotFound().canRequestManualMount());
    EXPECT_TRUE(StorageTargetRuntimeStatus::mountFailed(QStringLiteral("x")).canRequestManualMount());
    EXPECT_FALSE(StorageTargetRuntimeStatus::mounted().canRequestManualMount());
    EXPECT_FALSE(StorageTargetRuntimeStatus::mounting().canRequestManualMount());
    EXPECT_FALSE(StorageTargetRuntimeStatus::unmounting().canRequestManualMount());
    EXPECT_FALSE(StorageTargetRuntimeStatus::readyToUnmount().canRequestManualMount());
    EXPECT_FALSE(StorageTargetRuntimeStatus::unmountFailed(QStringLiteral("x")).canRequestManualMount());
    EXPECT_NE(StorageTargetRuntimeStatus::mountFailed(QStringLiteral("a")),
              StorageTargetRuntimeStatus::mountFailed(QStringLiteral("b")));
}

TEST(TarnwellError, EveryCaseHasItsUserMessage) {
    EXPECT_EQ(TarnwellError::mountFailed(QStringLiteral("busy")).userMessage(),
              QStringLiteral("Mount failed: busy"));
    // Code that only knows std::exception says the same.
    EXPECT_STREQ(TarnwellError::mountFailed(QStringLiteral("busy")).what(), "Mount failed: busy");
    EXPECT_EQ(TarnwellError::unmountFailed(QStringLiteral("busy")).userMessage(),
              QStringLiteral("Unmount failed: busy"));
    EXPECT_EQ(TarnwellError::commandFailed(1, QStringLiteral("stderr text")).userMessage(),
              QStringLiteral("stderr text"));
    EXPECT_EQ(TarnwellError::commandFailed(1, QString()).userMessage(), QString());
    EXPECT_EQ(TarnwellError::unsupportedStorageTarget(QStringLiteral("no")),
              TarnwellError::unknown(QStringLiteral("no")));
    EXPECT_EQ(TarnwellError::driveNotConfigured().userMessage(), QStringLiteral("Drive is not configured."));
    EXPECT_EQ(TarnwellError::driveNotFound().userMessage(), QStringLiteral("Drive was not found."));
    EXPECT_EQ(TarnwellError::driveAlreadyMounted().userMessage(),
              QStringLiteral("Drive is already mounted."));
    EXPECT_EQ(TarnwellError::driveNotMounted().userMessage(), QStringLiteral("Drive is not mounted."));
    EXPECT_EQ(TarnwellError::permissionDenied().userMessage(), QStringLiteral("Permission denied."));
    EXPECT_NE(TarnwellError::commandFailed(1, QStringLiteral("x")),
              TarnwellError::commandFailed(2, QStringLiteral("x")));

    EXPECT_EQ(userFacingMessage(std::make_exception_ptr(TarnwellError::driveNotFound())),
              QStringLiteral("Drive was not found."));
    EXPECT_EQ(userFacingMessage(std::make_exception_ptr(std::runtime_error("plain"))),
              QStringLiteral("plain"));
    EXPECT_EQ(userFacingMessage(DecodingError(QStringLiteral("bad"), QStringLiteral("a.b"))),
              QStringLiteral("bad (at a.b)"));
}

TEST(RuleDerivation, ADriveRuleWithADriveBecomesOneEnabledStorageRule) {
    DriveRule legacy = DriveRule::defaultRule();
    legacy.targetDrive = rushesDrive();
    legacy.appTriggers[1].isEnabled = false;
    legacy.postQuitAction = PostQuitAction::AutoUnmount;
    legacy.unmountDelaySeconds = 30;
    legacy.launchAtLogin = true;

    const TarnwellConfiguration configuration = RuleService::configuration(legacy);
    ASSERT_EQ(configuration.storageRules.size(), 1);
    const StorageTargetRule& rule = configuration.storageRules.first();
    EXPECT_EQ(rule.id, legacy.id);
    EXPECT_EQ(rule.name, QStringLiteral("Rushes"));
    EXPECT_EQ(rule.target,
              StorageTarget(LocalVolumeTarget{QStringLiteral("Rushes"), QStringLiteral("VOL-1"),
                                              QStringLiteral("sdb1"), QStringLiteral("ExFAT"),
                                              QStringLiteral("/media/Rushes"), QStringLiteral("USB"), true}));
    EXPECT_EQ(rule.appTriggerIDs.size(), legacy.appTriggers.size()); // disabled triggers are bound too
    EXPECT_EQ(rule.unmountDelaySeconds, 30);
    EXPECT_TRUE(rule.isEnabled);
    EXPECT_EQ(rule.sortOrder, 0);
    EXPECT_TRUE(configuration.launchAtLogin);

    EXPECT_EQ(RuleService::rule(configuration), legacy);
}

TEST(RuleDerivation, WithoutADriveTheRuleIdIsNotKept) {
    const DriveRule legacy = DriveRule::defaultRule();
    const TarnwellConfiguration configuration = RuleService::configuration(legacy);
    EXPECT_TRUE(configuration.storageRules.isEmpty());
    EXPECT_EQ(configuration.appTriggers, legacy.appTriggers);
    const DriveRule back = RuleService::rule(configuration);
    EXPECT_NE(back.id, legacy.id);
    EXPECT_EQ(back.appTriggers, legacy.appTriggers);
}

TEST(RuleDerivation, TheFirstStoredRuleWinsAndAShareGivesNoDrive) {
    TarnwellConfiguration configuration =
        TarnwellConfiguration::defaultConfiguration(AppPresetService::defaultPresets());
    StorageTargetRule share;
    share.id = QUuid::createUuid();
    share.target = SMBTarget{QStringLiteral("NAS"), QStringLiteral("smb://nas"), std::nullopt};
    share.isEnabled = false;
    share.sortOrder = 9;
    StorageTargetRule local;
    local.id = QUuid::createUuid();
    local.target = LocalVolumeTarget{QStringLiteral("Rushes"), QStringLiteral("VOL-1"), {}, {}, {}, {}, true};
    configuration.storageRules = {share, local};

    const DriveRule rule = RuleService::rule(configuration);
    EXPECT_EQ(rule.id, share.id);
    EXPECT_EQ(rule.targetDrive, std::nullopt);

    configuration.storageRules = {local};
    const DriveRule fromLocal = RuleService::rule(configuration);
    ASSERT_TRUE(fromLocal.targetDrive.has_value());
    EXPECT_FALSE(fromLocal.targetDrive->isMounted); // no mount point was captured
}

TEST(DriveRule, DefaultRuleUsesThePresetsWhenNoTriggersAreGiven) {
    const DriveRule rule = DriveRule::defaultRule();
    ASSERT_EQ(rule.appTriggers.size(), 5);
    EXPECT_EQ(rule.appTriggers[2].displayName, QStringLiteral("Adobe Premiere Pro"));
    EXPECT_TRUE(rule.mountOnAppLaunch);
    EXPECT_EQ(rule.postQuitAction, PostQuitAction::Remind);
    EXPECT_EQ(rule.unmountDelaySeconds, 15);
    EXPECT_TRUE(rule.showNotifications);
    EXPECT_FALSE(rule.showAllVolumes || rule.launchAtLogin || rule.targetDrive.has_value());
    EXPECT_NE(DriveRule::defaultRule().id, rule.id);
}
