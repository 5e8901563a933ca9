#include "ViewModelFixtures.h"
#include "app/VolumesViewModel.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/QtPrinters.h"
#include "support/ScriptedDiskService.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

class VolumesViewModelTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedDiskService> disks = std::make_shared<ScriptedDiskService>();
    std::shared_ptr<InMemoryPreferencesStore> store = std::make_shared<InMemoryPreferencesStore>();
    VolumesViewModel model{configurationWith({}), disks, std::make_shared<RuleService>(store)};
};

} // namespace

TEST_F(VolumesViewModelTest, OnlyTheLatestOfOverlappingListingsIsAppliedAndTheSelectionSurvivesWhileListed) {
    auto first = model.refreshVolumes();
    auto second = model.refreshVolumes();
    ASSERT_EQ(disks->pendingCount(), 2);
    disks->answer({volume(QStringLiteral("Second"))}, 1);
    disks->answer({volume(QStringLiteral("First"))}, 0);
    runTask(std::move(first));
    runTask(std::move(second));
    EXPECT_EQ(model.volumes(), QList<DriveInfo>{volume(QStringLiteral("Second"))});
    EXPECT_EQ(model.selectedVolumeID(), QStringLiteral("UUID-Second"));

    auto failing = model.refreshVolumes();
    auto succeeding = model.refreshVolumes();
    disks->fail(std::make_exception_ptr(TarnwellError::commandFailed(1, QStringLiteral("tool broke"))), 0);
    disks->answer({}, 0);
    runTask(std::move(failing));
    runTask(std::move(succeeding));
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_TRUE(model.volumes().isEmpty());
    EXPECT_EQ(model.selectedVolumeID(), std::nullopt);

    // The selection survives while its volume is listed.
    auto refresh = [&](QList<DriveInfo> volumes) {
        auto task = model.refreshVolumes();
        disks->answer(std::move(volumes));
        runTask(std::move(task));
    };
    refresh({volume(QStringLiteral("A")), volume(QStringLiteral("B"))});
    model.selectVolume(volume(QStringLiteral("B")));
    refresh({volume(QStringLiteral("C")), volume(QStringLiteral("B"))});
    EXPECT_EQ(model.selectedVolume(), volume(QStringLiteral("B")));
    refresh({volume(QStringLiteral("C"))});
    EXPECT_EQ(model.selectedVolumeID(), QStringLiteral("UUID-C"));

    model.selectVolume(volume(QStringLiteral("Elsewhere")));
    EXPECT_EQ(model.selectedVolumeID(), QStringLiteral("UUID-Elsewhere"));
    EXPECT_EQ(model.selectedVolume(), std::nullopt);

    auto broken = model.refreshVolumes();
    disks->fail(std::make_exception_ptr(TarnwellError::commandFailed(1, QStringLiteral("tool broke"))));
    runTask(std::move(broken));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("tool broke"));
    EXPECT_EQ(model.volumes(), QList<DriveInfo>{volume(QStringLiteral("C"))});
}

TEST_F(VolumesViewModelTest, ShowAllVolumesIsSavedHandedOnAndThenListed) {
    QList<bool> handedOn;
    model.onConfigurationChanged = [&](TarnwellConfiguration configuration) -> QCoro::Task<> {
        handedOn.append(configuration.showAllVolumes);
        return []() -> QCoro::Task<> { co_return; }();
    };
    store->failWrites = true;
    runTask(model.setShowAllVolumes(true));
    EXPECT_FALSE(model.showAllVolumes());
    EXPECT_TRUE(model.errorMessage().has_value());
    EXPECT_TRUE(disks->listings.isEmpty());

    store->failWrites = false;
    auto task = model.setShowAllVolumes(true);
    ASSERT_EQ(disks->pendingCount(), 1);
    EXPECT_EQ(handedOn, QList<bool>{true});
    disks->answer({volume(QStringLiteral("Internal"))});
    runTask(std::move(task));
    EXPECT_EQ(disks->listings, QList<bool>{true});
    EXPECT_TRUE(model.showAllVolumes());
    EXPECT_EQ(model.errorMessage(), std::nullopt);
}
