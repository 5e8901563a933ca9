#include "ViewModelFixtures.h"
#include "app/LegacySettingsRuleServiceAdapter.h"
#include "core/model/AppPresetService.h"
#include "core/model/RuleService.h"
#include "core/support/PlatformError.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

DriveRule ruleWithDrive(const QString& volumeName) {
    DriveRule rule = DriveRule::defaultRule();
    rule.targetDrive =
        DriveInfo{volumeName, QStringLiteral("UUID-") + volumeName, {}, {}, {}, {}, true, false};
    rule.postQuitAction = PostQuitAction::AutoUnmount;
    rule.unmountDelaySeconds = 60;
    rule.mountOnAppLaunch = false;
    rule.showAllVolumes = true;
    return rule;
}

} // namespace

TEST(LegacyRuleMerge, AClearedDriveRemovesALocalFirstRuleButKeepsAShare) {
    DriveRule cleared = ruleWithDrive(QStringLiteral("X"));
    cleared.targetDrive.reset();

    const auto second = localRule(QStringLiteral("Second"), 3);
    const auto merged = LegacySettingsRuleServiceAdapter::mergedConfiguration(
        cleared, configurationWith({localRule(QStringLiteral("First")), second}));
    EXPECT_EQ(merged.storageRules, QList<StorageTargetRule>{second});
    EXPECT_TRUE(merged.showAllVolumes);
    EXPECT_EQ(merged.appTriggers, cleared.appTriggers);

    auto share = localRule(QStringLiteral("NAS"));
    share.target = SMBTarget{QStringLiteral("NAS"), QStringLiteral("smb://nas/media"), std::nullopt};
    const auto kept =
        LegacySettingsRuleServiceAdapter::mergedConfiguration(cleared, configurationWith({share, second}));
    ASSERT_EQ(kept.storageRules.size(), 2);
    StorageTargetRule expected = share;
    expected.mountOnAppLaunch = false;
    expected.postQuitAction = PostQuitAction::AutoUnmount;
    expected.unmountDelaySeconds = 60;
    EXPECT_EQ(kept.storageRules[0], expected);
    EXPECT_EQ(kept.storageRules[1], second);

    EXPECT_TRUE(LegacySettingsRuleServiceAdapter::mergedConfiguration(cleared, configurationWith({}))
                    .storageRules.isEmpty());
}

TEST(LegacyRuleMerge, ADriveUpdatesTheFirstRuleInPlaceAndKeepsItsIdentity) {
    const DriveRule rule = ruleWithDrive(QStringLiteral("NewDisk"));
    const auto fresh = LegacySettingsRuleServiceAdapter::mergedConfiguration(rule, configurationWith({}));
    EXPECT_EQ(fresh.storageRules, RuleService::configuration(rule).storageRules);
    EXPECT_EQ(fresh.storageRules[0].target.id(), QStringLiteral("local:UUID-NewDisk"));

    auto first = localRule(QStringLiteral("OldDisk"), 7, false);
    first.appTriggerIDs = {QUuid::createUuid()};
    const auto second = localRule(QStringLiteral("Second"));
    for (const QString& name : {QStringLiteral("OldDisk"), QStringLiteral("  "), QStringLiteral("")}) {
        first.name = name;
        const auto merged =
            LegacySettingsRuleServiceAdapter::mergedConfiguration(rule, configurationWith({first, second}));
        // The first rule keeps its identity, bindings, switch and order and takes the drive and policy.
        StorageTargetRule expected = first;
        expected.name = QStringLiteral("NewDisk");
        expected.target = fresh.storageRules[0].target;
        expected.mountOnAppLaunch = false;
        expected.postQuitAction = PostQuitAction::AutoUnmount;
        expected.unmountDelaySeconds = 60;
        EXPECT_EQ(merged.storageRules, (QList<StorageTargetRule>{expected, second}));
    }
    first.name = QStringLiteral("Client project");
    EXPECT_EQ(LegacySettingsRuleServiceAdapter::mergedConfiguration(rule, configurationWith({first}))
                  .storageRules[0]
                  .name,
              QStringLiteral("Client project"));
}

TEST(LegacySettingsRuleServiceAdapter, ReadsTheContainersConfigurationAndReportsOnlyConfigurationSaves) {
    auto store = std::make_shared<InMemoryPreferencesStore>();
    auto ruleService = std::make_shared<RuleService>(store);
    TarnwellConfiguration current =
        configurationWith({localRule(QStringLiteral("Disk"))}, AppPresetService::defaultPresets());
    QList<TarnwellConfiguration> reported;
    LegacySettingsRuleServiceAdapter adapter(
        ruleService, [&] { return current; },
        [&](const TarnwellConfiguration& saved) { reported.append(saved); });

    const DriveRule before = adapter.loadRule();
    DriveRule edited = before;
    edited.unmountDelaySeconds = 99;
    adapter.saveRule(edited);
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_EQ(adapter.loadRule(), before); // the container has not applied the change yet
    EXPECT_EQ(ruleService->loadConfiguration().storageRules[0].unmountDelaySeconds, 99);

    adapter.saveConfiguration(current);
    EXPECT_EQ(reported.size(), 1);

    store->failWrites = true;
    EXPECT_THROW(adapter.saveConfiguration(current), PlatformError);
    EXPECT_THROW(adapter.saveRule(edited), PlatformError);
    EXPECT_EQ(reported.size(), 1);
}
