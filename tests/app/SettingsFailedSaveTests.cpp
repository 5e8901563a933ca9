#include "app/SettingsViewModel.h"
#include "core/model/RuleService.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/ScriptedDiskService.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

// A switch bound to a published value only learns that its change was refused when the unchanged
// value is published again.
TEST(SettingsFailedSaveTest, ARefusedSaveRepublishesTheStoredValue) {
    auto store = std::make_shared<InMemoryPreferencesStore>();
    SettingsViewModel settings(DriveRule::defaultRule(), std::make_shared<RuleService>(store),
                               std::make_shared<ScriptedDiskService>(), nullptr, {}, {});
    const DriveRule before = settings.rule();
    store->failWrites = true;
    QSignalSpy rulePublished(&settings, &SettingsViewModel::ruleChanged);
    runTask(settings.setShowNotifications(false));
    runTask(settings.toggleTrigger(before.appTriggers.first(), false));
    EXPECT_EQ(settings.rule(), before);
    EXPECT_EQ(rulePublished.size(), 2);
}
