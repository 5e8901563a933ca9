#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/model/StorageTargetRuntimeStatus.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarnwell;

TEST(StorageTargetRule, PolicySummaryAndBindingFollowTheRule) {
    const std::tuple<bool, PostQuitAction, QString> cases[] = {
        {false, PostQuitAction::Off, QStringLiteral("No post-quit action")},
        {false, PostQuitAction::Remind, QStringLiteral("Remind after quit")},
        {true, PostQuitAction::AutoUnmount, QStringLiteral("Mount on launch, Auto-unmount after quit")},
    };
    for (const auto& [mountOnLaunch, action, summary] : cases) {
        StorageTargetRule rule;
        rule.mountOnAppLaunch = mountOnLaunch;
        rule.postQuitAction = action;
        EXPECT_EQ(rule.policySummary(), summary);
    }
    const AppTrigger disabled{QUuid::createUuid(), QStringLiteral("Editor"), {}, false, false, std::nullopt};
    StorageTargetRule rule;
    EXPECT_FALSE(rule.isBound(disabled));
    rule.appTriggerIDs = {disabled.id};
    EXPECT_TRUE(rule.isBound(disabled));
}

TEST(StorageTargetRuntimeStatus, OnlyIdleOrFailedMountStatesAllowAManualMount) {
    using Status = StorageTargetRuntimeStatus;
    const std::pair<Status, bool> cases[] = {
        {Status::notConfigured(), true},    {Status::notMounted(), true},
        {Status::targetNotFound(), true},   {Status::mountFailed({}), true},
        {Status::mounted(), false},         {Status::mounting(), false},
        {Status::unmounting(), false},      {Status::readyToUnmount(), false},
        {Status::unmountFailed({}), false},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        EXPECT_EQ(cases[index].first.canRequestManualMount(), cases[index].second) << "case " << index;
    }
}

TEST(TarnwellError, EveryErrorHasItsUserMessage) {
    const auto message = [](auto error) {
        return userFacingMessage(std::make_exception_ptr(error)).toStdString();
    };
    using Error = TarnwellError;
    EXPECT_EQ(message(Error::mountFailed(QStringLiteral("busy"))), "Mount failed: busy");
    EXPECT_EQ(message(Error::unmountFailed(QStringLiteral("busy"))), "Unmount failed: busy");
    EXPECT_EQ(message(Error::commandFailed(1, QStringLiteral("stderr"))), "stderr");
    EXPECT_EQ(message(Error::unsupportedStorageTarget(QStringLiteral("no"))), "no");
    EXPECT_EQ(message(Error::driveNotConfigured()), "Drive is not configured.");
    EXPECT_EQ(message(Error::driveNotFound()), "Drive was not found.");
    EXPECT_EQ(message(Error::driveAlreadyMounted()), "Drive is already mounted.");
    EXPECT_EQ(message(Error::driveNotMounted()), "Drive is not mounted.");
    EXPECT_EQ(message(Error::permissionDenied()), "Permission denied.");
    EXPECT_EQ(message(std::runtime_error("plain")), "plain");
    EXPECT_EQ(message(DecodingError(QStringLiteral("bad"), QStringLiteral("a.b"))), "bad (at a.b)");
}

TEST(RuleDerivation, ADriveRuleWithADriveBecomesOneEnabledStorageRuleAndBack) {
    QFile file(QStringLiteral(TARNWELL_FUZZ_CORPUS "/configuration/accept-legacy-with-drive.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    DriveRule legacy = JsonCoding::decodeDocument<StoredDriveRule>(file.readAll()).rule;
    const TarnwellConfiguration configuration = RuleService::configuration(legacy);
    ASSERT_EQ(configuration.storageRules.size(), 1);
    const StorageTargetRule& rule = configuration.storageRules.first();
    EXPECT_EQ(rule.name, QStringLiteral("Rushes"));
    EXPECT_EQ(rule.target, StorageTarget(LocalVolumeTarget{QStringLiteral("Rushes"), QStringLiteral("U-1"),
                                                           QStringLiteral("sdb1"), QStringLiteral("ExFAT"),
                                                           std::nullopt, QStringLiteral("USB"), true}));
    EXPECT_EQ(rule.appTriggerIDs, QList<QUuid>{legacy.appTriggers[0].id}); // disabled triggers are bound too
    EXPECT_TRUE(rule.isEnabled);
    EXPECT_EQ(rule.sortOrder, 0);
    EXPECT_EQ(RuleService::rule(configuration), legacy);

    legacy.targetDrive->mountPoint = QStringLiteral("/media/Rushes");
    legacy.targetDrive->isMounted = true;
    EXPECT_EQ(RuleService::rule(RuleService::configuration(legacy)), legacy);
}

TEST(RuleDerivation, WithoutADriveNoRuleIsKeptAndAShareGivesNoDrive) {
    const DriveRule legacy = DriveRule::defaultRule();
    TarnwellConfiguration configuration = RuleService::configuration(legacy);
    EXPECT_TRUE(configuration.storageRules.isEmpty());
    const DriveRule back = RuleService::rule(configuration);
    EXPECT_NE(back.id, legacy.id);
    EXPECT_EQ(back.appTriggers, legacy.appTriggers);

    StorageTargetRule share;
    share.id = QUuid::createUuid();
    share.target = SMBTarget{QStringLiteral("NAS"), QStringLiteral("smb://nas"), std::nullopt};
    share.isEnabled = false;
    share.sortOrder = 9;
    StorageTargetRule local = share;
    local.id = QUuid::createUuid();
    local.target = LocalVolumeTarget{QStringLiteral("Rushes"), QStringLiteral("VOL-1"), {}, {}, {}, {}, true};
    local.sortOrder = -1;
    configuration.storageRules = {share, local};
    // The first rule as stored wins, whatever its order or enabled state.
    EXPECT_EQ(RuleService::rule(configuration).id, share.id);
    EXPECT_EQ(RuleService::rule(configuration).targetDrive, std::nullopt);
}
