#include "ScriptedDiskService.h"
#include "ViewModelFixtures.h"
#include "app/SettingsViewModel.h"
#include "app/VolumesViewModel.h"
#include "core/model/RuleService.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

// A switch bound to a published value only learns that its change was refused when the unchanged
// value is published again.
TEST(SettingsFailedSaveTest, ARefusedSaveRepublishesTheStoredValue) {
    auto store = std::make_shared<InMemoryPreferencesStore>();
    auto disks = std::make_shared<ScriptedDiskService>();
    SettingsViewModel settings(DriveRule::defaultRule(), std::make_shared<RuleService>(store), disks, nullptr,
                               {}, {});
    VolumesViewModel volumes(configurationWith({}), disks, std::make_shared<RuleService>(store));
    const DriveRule before = settings.rule();
    store->failWrites = true;
    QSignalSpy rulePublished(&settings, &SettingsViewModel::ruleChanged);
    const QList<std::function<QCoro::Task<>()>> changes{
        [&] { return settings.setShowNotifications(false); },
        [&] { return settings.setShowAllVolumes(true); },
        [&] { return settings.toggleTrigger(settings.rule().appTriggers.first(), false); },
    };
    for (const auto& change : changes) {
        runTask(change());
    }
    EXPECT_EQ(settings.rule(), before);
    EXPECT_EQ(rulePublished.size(), changes.size());

    QSignalSpy configurationPublished(&volumes, &VolumesViewModel::configurationChanged);
    runTask(volumes.setShowAllVolumes(true));
    EXPECT_FALSE(volumes.showAllVolumes());
    EXPECT_EQ(configurationPublished.size(), 1);
    EXPECT_EQ(disks->pendingCount(), 0);
}
