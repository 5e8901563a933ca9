#include "ViewModelFixtures.h"
#include "app/RulesViewModel.h"
#include "core/model/RuleService.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

// A refused save publishes the stored configuration once more, so a control that already shows the
// refused value is told to show the stored one, and the error is shown.
TEST(ViewModelFailedSaveTest, ARefusedRuleChangeRepublishesTheStoredConfiguration) {
    auto store = std::make_shared<InMemoryPreferencesStore>();
    store->failWrites = true;
    RulesViewModel model(configurationWith({localRule(QStringLiteral("Rushes"))}),
                         std::make_shared<RuleService>(store, presetsWithoutDiscovery()));
    const TarnwellConfiguration before = model.configuration();
    QSignalSpy published(&model, &RulesViewModel::configurationChanged);
    runTask(model.setMountOnAppLaunch(false, before.storageRules.first().id));
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(model.configuration(), before);
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The store refused the write."));
}
