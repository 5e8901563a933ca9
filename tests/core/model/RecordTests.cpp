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
    StorageTargetRule rule;
    rule.mountOnAppLaunch = false;
    rule.postQuitAction = PostQuitAction::Off;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("No post-quit action"));
    rule.postQuitAction = PostQuitAction::Remind;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("Remind after quit"));
    rule.mountOnAppLaunch = true;
    rule.postQuitAction = PostQuitAction::AutoUnmount;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("Mount on launch, Auto-unmount after quit"));

    const AppTrigger disabled{QUuid::createUuid(), QStringLiteral("Editor"), {}, false, false, std::nullopt};
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
    EXPECT_EQ(message(Error::driveNotFound()), "Drive was not found.");
    EXPECT_EQ(message(std::runtime_error("plain")), "plain");
    EXPECT_EQ(message(DecodingError(QStringLiteral("bad"), QStringLiteral("a.b"))), "bad (at a.b)");
    // Code that only knows std::exception says the same.
    EXPECT_STREQ(Error::mountFailed(QStringLiteral("busy")).what(), "Mount failed: busy");
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

TEST(RuleDerivation, WithoutADriveNoRuleIsKeptAndTheFirstStoredRuleWinsEvenAsAShare) {
    const DriveRule legacy = DriveRule::defaultRule();
    const DriveRule back = RuleService::rule(RuleService::configuration(legacy));
    EXPECT_NE(back.id, legacy.id);
    EXPECT_EQ(back.appTriggers, legacy.appTriggers);

    QFile file(QStringLiteral(TARNWELL_FUZZ_CORPUS "/configuration/accept-v2-every-field.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TarnwellConfiguration configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(file.readAll());
    // First the disabled share with the higher sort order, then the enabled local volume.
    configuration.storageRules.swapItemsAt(0, 1);
    EXPECT_EQ(RuleService::rule(configuration).id, configuration.storageRules[0].id);
    EXPECT_EQ(RuleService::rule(configuration).targetDrive, std::nullopt);
}
