#include "ViewModelFixtures.h"
#include "app/RulesViewModel.h"
#include "core/model/RuleService.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

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

// One editing session on the rules page: every change is saved, published and handed on; unchanged or
// unknown rules are not saved; a failed save keeps everything and shows the error.
TEST_F(RulesViewModelTest, EditsAreSavedPublishedAndHandedOnUnlessNothingChanged) {
    const auto rule = runTask(model.addLocalVolumeRule(volume(QStringLiteral("Grade"))));
    ASSERT_TRUE(rule.has_value());
    EXPECT_EQ(rule->sortOrder, 5);
    EXPECT_EQ(rule->name, QStringLiteral("Grade"));
    EXPECT_EQ(rule->target.asLocalVolume()->mountPoint, QStringLiteral("/media/Grade"));
    EXPECT_EQ(model.configuration().storageRules.last(), *rule);
    EXPECT_EQ(handedOn, QList{model.configuration()});
    EXPECT_EQ(stored().storageRules.last(), *rule);

    // Names are trimmed; a blank name falls back to the volume; rebinding renames only rules named after
    // their volume.
    const QUuid renamed = model.configuration().storageRules[1].id;
    runTask(model.setRuleName(QStringLiteral("  Day one \n"), firstID()));
    EXPECT_EQ(model.configuration().storageRules.first().name, QStringLiteral("Day one"));
    runTask(model.setRuleName(QStringLiteral(" \t "), firstID()));
    runTask(model.setRuleName(QStringLiteral("My archive"), renamed));
    runTask(model.rebindRule(firstID(), volume(QStringLiteral("NewDisk"))));
    runTask(model.rebindRule(renamed, volume(QStringLiteral("OtherDisk"))));
    EXPECT_EQ(model.configuration().storageRules[0].name, QStringLiteral("NewDisk"));
    EXPECT_EQ(model.configuration().storageRules[0].target.id(), QStringLiteral("local:UUID-NewDisk"));
    EXPECT_EQ(model.configuration().storageRules[1].name, QStringLiteral("My archive"));
    EXPECT_EQ(model.configuration().storageRules[1].target.displayName(), QStringLiteral("OtherDisk"));
    EXPECT_EQ(handedOn.size(), 6);

    const QUuid trigger = QUuid::createUuid();
    runTask(model.bindAppTrigger(trigger, firstID()));
    runTask(model.bindAppTrigger(trigger, firstID()));
    runTask(model.setRuleEnabled(firstID(), true));
    runTask(model.setShowNotifications(false, QUuid::createUuid()));
    EXPECT_EQ(handedOn.size(), 7);
    EXPECT_EQ(store->writeCount, 7);
    runTask(model.setBoundAppTriggerIDs({trigger, trigger, QUuid::createUuid()}, firstID()));
    runTask(model.unbindAppTrigger(trigger, firstID()));
    EXPECT_EQ(model.configuration().storageRules.first().appTriggerIDs.size(), 1);

    const TarnwellConfiguration before = model.configuration();
    store->failWrites = true;
    EXPECT_EQ(runTask(model.addLocalVolumeRule(volume(QStringLiteral("Late")))), std::nullopt);
    // The stored configuration is published again, so a control showing the refused value resets.
    QSignalSpy published(&model, &RulesViewModel::configurationChanged);
    runTask(model.setUnmountDelaySeconds(99, firstID()));
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(model.configuration(), before);
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The store refused the write."));
    EXPECT_EQ(handedOn.size(), 9);
    store->failWrites = false;
    runTask(model.setUnmountDelaySeconds(-3, firstID()));
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(model.configuration().storageRules.first().unmountDelaySeconds, -3);

    // Deleting keeps the others and always saves; an update from outside is not handed back.
    const auto others = model.configuration().storageRules.mid(1);
    runTask(model.deleteRule(firstID()));
    runTask(model.deleteRule(QUuid::createUuid()));
    EXPECT_EQ(stored().storageRules, others);
    EXPECT_EQ(handedOn.size(), 12);
    model.update(configurationWith({}));
    EXPECT_TRUE(model.configuration().storageRules.isEmpty());
    EXPECT_EQ(handedOn.size(), 12);
    EXPECT_EQ(runTask(model.addRule(volume(QStringLiteral("First"))))->sortOrder, 0);
}
