#include "ViewModelFixtures.h"
#include "app/RulesViewModel.h"
#include "core/model/RuleService.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

DriveInfo volume(const QString& name) {
    return DriveInfo{name,
                     QStringLiteral("UUID-") + name,
                     QStringLiteral("sdc1"),
                     QStringLiteral("ext4"),
                     QStringLiteral("/media/") + name,
                     QStringLiteral("USB"),
                     true,
                     true};
}

class RulesViewModelTest : public ::testing::Test {
protected:
    RulesViewModelTest() {
        model.onConfigurationChanged = [this](TarnwellConfiguration configuration) -> QCoro::Task<> {
            handedOn.append(std::move(configuration));
            return []() -> QCoro::Task<> { co_return; }();
        };
    }

    TarnwellConfiguration stored() { return ruleService->loadConfiguration(); }
    QUuid firstID() const { return model.configuration().storageRules.first().id; }

    std::shared_ptr<InMemoryPreferencesStore> store = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<RuleService> ruleService =
        std::make_shared<RuleService>(store, presetsWithoutDiscovery());
    RulesViewModel model{
        configurationWith({localRule(QStringLiteral("Rushes"), 0), localRule(QStringLiteral("Archive"), 4),
                           localRule(QStringLiteral("Cache"), 2)}),
        ruleService};
    QList<TarnwellConfiguration> handedOn;
};

} // namespace

TEST_F(RulesViewModelTest, ANewRuleIsSavedPublishedAndHandedOn) {
    const auto rule = runTask(model.addLocalVolumeRule(volume(QStringLiteral("Grade"))));
    ASSERT_TRUE(rule.has_value());
    EXPECT_EQ(rule->sortOrder, 5);
    EXPECT_EQ(rule->name, QStringLiteral("Grade"));
    EXPECT_EQ(rule->postQuitAction, PostQuitAction::Remind);
    EXPECT_EQ(rule->unmountDelaySeconds, 15);
    EXPECT_TRUE(rule->appTriggerIDs.isEmpty());
    EXPECT_EQ(rule->target.asLocalVolume()->mountPoint, QStringLiteral("/media/Grade"));
    EXPECT_EQ(model.configuration().storageRules.last(), *rule);
    EXPECT_EQ(stored().storageRules.last(), *rule);
    ASSERT_EQ(handedOn.size(), 1);
    EXPECT_EQ(handedOn.first(), model.configuration());

    RulesViewModel empty(configurationWith({}), ruleService);
    EXPECT_EQ(runTask(empty.addRule(volume(QStringLiteral("First"))))->sortOrder, 0);
}

TEST_F(RulesViewModelTest, AFailedSaveKeepsEverythingAndShowsTheError) {
    const TarnwellConfiguration before = model.configuration();
    store->failWrites = true;
    EXPECT_EQ(runTask(model.addLocalVolumeRule(volume(QStringLiteral("Grade")))), std::nullopt);
    runTask(model.setUnmountDelaySeconds(99, firstID()));
    EXPECT_EQ(model.configuration(), before);
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The store refused the write."));
    EXPECT_TRUE(handedOn.isEmpty());

    store->failWrites = false;
    runTask(model.setUnmountDelaySeconds(-3, firstID()));
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(model.configuration().storageRules.first().unmountDelaySeconds, -3);
}

TEST_F(RulesViewModelTest, NamesAreTrimmedAndBlankNamesFallBackToTheVolume) {
    runTask(model.setRuleName(QStringLiteral("  Day one \n"), firstID()));
    EXPECT_EQ(model.configuration().storageRules.first().name, QStringLiteral("Day one"));
    runTask(model.setRuleName(QStringLiteral(" \t "), firstID()));
    EXPECT_EQ(model.configuration().storageRules.first().name, QStringLiteral("Rushes"));
}

TEST_F(RulesViewModelTest, RebindingRenamesOnlyRulesNamedAfterTheirVolume) {
    const QUuid renamed = model.configuration().storageRules[1].id;
    runTask(model.setRuleName(QStringLiteral("My archive"), renamed));
    runTask(model.rebindRule(firstID(), volume(QStringLiteral("NewDisk"))));
    runTask(model.rebindRule(renamed, volume(QStringLiteral("OtherDisk"))));
    EXPECT_EQ(model.configuration().storageRules[0].name, QStringLiteral("NewDisk"));
    EXPECT_EQ(model.configuration().storageRules[0].target.id(), QStringLiteral("local:UUID-NewDisk"));
    EXPECT_EQ(model.configuration().storageRules[1].name, QStringLiteral("My archive"));
    EXPECT_EQ(model.configuration().storageRules[1].target.displayName(), QStringLiteral("OtherDisk"));
}

TEST_F(RulesViewModelTest, UnchangedOrUnknownRulesAreNotSaved) {
    const QUuid trigger = QUuid::createUuid();
    runTask(model.bindAppTrigger(trigger, firstID()));
    EXPECT_EQ(handedOn.size(), 1);
    runTask(model.bindAppTrigger(trigger, firstID()));
    runTask(model.setRuleEnabled(firstID(), true));
    runTask(model.setShowNotifications(false, QUuid::createUuid()));
    EXPECT_EQ(handedOn.size(), 1);
    EXPECT_EQ(store->writeCount, 1);

    runTask(model.setBoundAppTriggerIDs({trigger, trigger, QUuid::createUuid()}, firstID()));
    runTask(model.unbindAppTrigger(trigger, firstID()));
    EXPECT_EQ(model.configuration().storageRules.first().appTriggerIDs.size(), 1);
}

TEST_F(RulesViewModelTest, DeletingKeepsTheOthersAndAlwaysSaves) {
    const auto others = model.configuration().storageRules.mid(1);
    runTask(model.deleteRule(firstID()));
    EXPECT_EQ(model.configuration().storageRules, others);
    runTask(model.deleteRule(QUuid::createUuid()));
    EXPECT_EQ(handedOn.size(), 2);
    EXPECT_EQ(stored().storageRules, others);

    model.update(configurationWith({}));
    EXPECT_TRUE(model.configuration().storageRules.isEmpty());
    EXPECT_EQ(handedOn.size(), 2);
}
