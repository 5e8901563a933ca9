#include "ViewModelFixtures.h"
#include "app/LegacySettingsRuleServiceAdapter.h"
#include "app/SettingsViewModel.h"
#include "core/model/AppPresetService.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/QtPrinters.h"
#include "support/ScriptedDiskService.h"
#include "support/ScriptedLoginItem.h"
#include "support/TaskRunner.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

QCoro::Task<std::optional<QString>> pick(std::optional<QString> path) {
    co_return path;
}

class SettingsViewModelTest : public ::testing::Test {
protected:
    SettingsViewModelTest() {
        initial.targetDrive =
            DriveInfo{QStringLiteral("Rushes"), QStringLiteral("UUID-R"), {}, {}, {}, {}, true, false};
        model = std::make_unique<SettingsViewModel>(
            initial, ruleService, disks, loginItem, [this] { return pick(chosenPath); },
            [this](const QString& path) -> std::optional<ChosenApplication> {
                readPaths.append(path);
                return chosenApplication;
            },
            [this](const QString& message) { errors.append(message); },
            [this](DriveRule rule) -> QCoro::Task<> {
                handedOn.append(std::move(rule));
                return []() -> QCoro::Task<> { co_return; }();
            });
    }

    QList<AppTrigger> userTriggers() const {
        QList<AppTrigger> result;
        for (const AppTrigger& trigger : model->rule().appTriggers) {
            if (!trigger.isBuiltInPreset) {
                result.append(trigger);
            }
        }
        return result;
    }

    DriveRule initial = DriveRule::defaultRule();
    std::shared_ptr<InMemoryPreferencesStore> store = std::make_shared<InMemoryPreferencesStore>();
    std::shared_ptr<RuleService> ruleService = std::make_shared<RuleService>(store);
    std::shared_ptr<ScriptedDiskService> disks = std::make_shared<ScriptedDiskService>();
    std::shared_ptr<ScriptedLoginItem> loginItem = std::make_shared<ScriptedLoginItem>();
    std::optional<QString> chosenPath;
    std::optional<ChosenApplication> chosenApplication;
    QStringList readPaths;
    QStringList errors;
    QList<DriveRule> handedOn;
    std::unique_ptr<SettingsViewModel> model;
};

} // namespace

TEST_F(SettingsViewModelTest, SettersSaveThroughTheStoreClampTheDelayAndKeepBuiltInPresets) {
    runTask(model->setUnmountDelaySeconds(-5));
    EXPECT_EQ(model->rule().unmountDelaySeconds, 0);
    EXPECT_EQ(ruleService->loadRule().unmountDelaySeconds, 0);
    runTask(model->setPostQuitAction(PostQuitAction::AutoUnmount));
    runTask(model->save());
    EXPECT_EQ(handedOn.size(), 3);
    EXPECT_EQ(handedOn.last().postQuitAction, PostQuitAction::AutoUnmount);

    // Built-in presets are never removed and unknown triggers change nothing.
    const DriveRule saved = model->rule();
    const int writes = store->writeCount;
    runTask(model->removeTrigger(saved.appTriggers.first()));
    runTask(model->toggleTrigger(AppTrigger{QUuid::createUuid(), "Ghost", {}, true, false, {}}, false));
    EXPECT_EQ(model->rule(), saved);
    EXPECT_EQ(store->writeCount, writes);
    runTask(model->toggleTrigger(saved.appTriggers[1], false));
    EXPECT_FALSE(model->rule().appTriggers[1].isEnabled);

    // A control bound to the rule only learns of a refused change when the stored rule is republished.
    store->failWrites = true;
    const DriveRule before = model->rule();
    QSignalSpy rulePublished(model.get(), &SettingsViewModel::ruleChanged);
    runTask(model->setMountOnAppLaunch(false));
    runTask(model->toggleTrigger(before.appTriggers.first(), false));
    EXPECT_EQ(rulePublished.size(), 2);
    EXPECT_EQ(model->rule(), before);
    EXPECT_EQ(model->errorMessage(), QStringLiteral("The store refused the write."));
    EXPECT_EQ(errors,
              QStringList(2, QStringLiteral("Failed to save drive rule: The store refused the write.")));
    EXPECT_EQ(handedOn.size(), 4);
}

TEST_F(SettingsViewModelTest, ChoosingApplicationsAddsOrExtendsTriggers) {
    runTask(model->chooseApp(std::nullopt));
    EXPECT_TRUE(readPaths.isEmpty());
    EXPECT_EQ(model->errorMessage(), std::nullopt);

    chosenPath = QStringLiteral("/usr/share/applications/org.example.Cutter.desktop");
    runTask(model->chooseApp(std::nullopt));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Selected app does not have a bundle identifier."));
    EXPECT_TRUE(userTriggers().isEmpty());

    chosenApplication = ChosenApplication{QStringLiteral("org.example.Cutter"), QStringLiteral("Cutter")};
    runTask(model->chooseApp(std::nullopt));
    runTask(model->chooseApp(std::nullopt));
    ASSERT_EQ(userTriggers().size(), 2);
    EXPECT_EQ(userTriggers()[0].displayName, QStringLiteral("Cutter"));
    EXPECT_EQ(userTriggers()[0].bundleIdentifiers, QList<QString>{QStringLiteral("org.example.Cutter")});
    EXPECT_EQ(userTriggers()[0].appPath, chosenPath);
    EXPECT_EQ(model->errorMessage(), std::nullopt);

    const AppTrigger resolve = model->rule().appTriggers[1];
    chosenPath = QStringLiteral("/opt/resolve/resolve.desktop");
    chosenApplication = ChosenApplication{resolve.bundleIdentifiers.first(), QStringLiteral("Resolve")};
    runTask(model->chooseApp(resolve));
    EXPECT_EQ(model->rule().appTriggers[1].bundleIdentifiers, resolve.bundleIdentifiers);
    EXPECT_EQ(model->rule().appTriggers[1].appPath, QStringLiteral("/opt/resolve/resolve.desktop"));

    runTask(model->removeTrigger(userTriggers()[0]));
    EXPECT_EQ(userTriggers().size(), 1);
}

TEST_F(SettingsViewModelTest, LaunchAtLoginFollowsTheSystemState) {
    loginItem->refuse = true;
    runTask(model->setLaunchAtLogin(true));
    EXPECT_FALSE(model->rule().launchAtLogin);
    EXPECT_TRUE(handedOn.isEmpty());
    EXPECT_EQ(errors, QStringList{QStringLiteral(
                          "Failed to update launch at login: The session refused the login item.")});

    loginItem->refuse = false;
    loginItem->ignoreRequests = true;
    runTask(model->setLaunchAtLogin(true));
    EXPECT_FALSE(model->rule().launchAtLogin);
    ASSERT_EQ(handedOn.size(), 1);

    loginItem->ignoreRequests = false;
    store->failWrites = true;
    runTask(model->setLaunchAtLogin(true));
    EXPECT_TRUE(model->rule().launchAtLogin);
    EXPECT_EQ(handedOn.size(), 2);
    EXPECT_EQ(errors.last(),
              QStringLiteral("Launch-at-login system state is enabled, but failed to save drive rule: "
                             "The store refused the write."));
}

TEST_F(SettingsViewModelTest, ShowAllVolumesListsAgainOnlyAfterASuccessfulSave) {
    store->failWrites = true;
    runTask(model->setShowAllVolumes(true));
    EXPECT_FALSE(model->rule().showAllVolumes);
    EXPECT_TRUE(disks->listings.isEmpty());

    store->failWrites = false;
    auto task = model->setShowAllVolumes(true);
    ASSERT_EQ(disks->pendingCount(), 1);
    const DriveInfo volume{
        QStringLiteral("Internal"), QStringLiteral("UUID-I"), {}, {}, QStringLiteral("/"), {}, false, true};
    disks->answer({volume});
    runTask(std::move(task));
    EXPECT_EQ(disks->listings, QList<bool>{true});
    EXPECT_EQ(model->availableDrives(), QList<DriveInfo>{volume});

    auto failing = model->refreshDrives();
    disks->fail(std::make_exception_ptr(TarnwellError::commandFailed(1, QStringLiteral("tool broke"))));
    runTask(std::move(failing));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("tool broke"));
    EXPECT_EQ(model->availableDrives(), QList<DriveInfo>{volume});
}
