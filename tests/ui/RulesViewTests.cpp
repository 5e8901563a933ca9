#include "UiSystem.h"
#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/AppPresetService.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "platform/SettingsPreferencesStore.h"
#include "support/ManualDelay.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/TaskRunner.h"
#include "ui/MainWindowView.h"
#include "ui/RuleCard.h"
#include "ui/RulesView.h"
#include "ui/StorageRuleEditorView.h"
#include "ui/ToggleSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// The disks of UiSystem::disks() with every volume mounted: volumes are listed only then.
QJsonObject mountedDisks(const QStringList& names) {
    QJsonObject disk = UiSystem::disks(names)["disks"][0].toObject();
    QJsonArray partitions;
    for (const QJsonValue& partition : disk["partitions"].toArray()) {
        QJsonObject mounted = partition.toObject();
        mounted["mountPoint"] = mounted["mountPath"];
        partitions.append(mounted);
    }
    disk["partitions"] = partitions;
    return QJsonObject{{"disks", QJsonArray{disk}}};
}

// The page over a whole system, shown, once the volume listing it starts on showing has finished.
struct RulesPage {
    explicit RulesPage(const TarnwellConfiguration& configuration, const QStringList& volumes = {})
        : system(configuration, mountedDisks(volumes)) {
        page.resize(900, 800);
        page.show();
        EXPECT_TRUE(runUntil([this] { return page.refreshButton()->isEnabled(); }));
    }
    StorageTargetRule stored(qsizetype index) {
        return RuleService(system.preferences, presetsWithoutDiscovery())
            .loadConfiguration()
            .storageRules.value(index);
    }
    StorageRuleEditorView* editor() const { return page.editor(); }

    UiSystem system;
    RulesView page{system.container.get()};
};

} // namespace

TEST(RulesViewTest, AShareOnlyConfigurationAndNoExternalVolumesOfferNothingToEdit) {
    TarnwellConfiguration configuration = UiSystem::configuration({QStringLiteral("Share")});
    configuration.storageRules[0].target =
        SMBTarget{QStringLiteral("Share"), QStringLiteral("smb://nas/share"), {}};
    RulesPage rules(configuration);
    EXPECT_TRUE(rules.page.cards().isEmpty());
    EXPECT_EQ(rules.editor(), nullptr);
    const QList<QAction*> actions = rules.page.addMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Refresh Volumes"));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("No external volumes found"));
    EXPECT_FALSE(actions[1]->isEnabled());
}

// The first card's dangling application id is not counted; an editor whose rule is gone says so.
TEST(RulesViewTest, DeletingTheSelectedRuleSelectsTheNextAndTheLastLeavesNoSelection) {
    TarnwellConfiguration configuration = UiSystem::configuration({QStringLiteral("A"), QStringLiteral("B")});
    configuration.appTriggers = AppPresetService::defaultPresets();
    configuration.storageRules[0].appTriggerIDs = {configuration.appTriggers[0].id, QUuid::createUuid()};
    RulesPage rules(configuration);
    EXPECT_EQ(rules.page.cards().first()->appCountText(), QStringLiteral("1 app bound"));
    const QPointer<StorageRuleEditorView> first = rules.editor();
    QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
    EXPECT_EQ(first->missingLabel()->text(), QStringLiteral("Rule no longer exists."));
    EXPECT_TRUE(first->missingLabel()->isVisibleTo(first));
    ASSERT_TRUE(runUntil(
        [&] { return rules.editor() && rules.editor()->ruleID() == configuration.storageRules[1].id; }));
    EXPECT_TRUE(rules.page.cards().first()->isSelected());
    QTest::mouseClick(rules.editor()->deleteButton(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return !rules.editor(); }));
    EXPECT_EQ(rules.page.selectedRuleID(), std::nullopt);
}

TEST(RulesViewTest, TheStepperKeepsToItsRangeWhileATypedDelayIsStoredAsTyped) {
    RulesPage rules(UiSystem::configuration({QStringLiteral("Rushes")}));
    StorageRuleEditorView* editor = rules.editor();
    using Step = std::tuple<QString, int, qint64>;
    for (const auto& [typed, clicks, stored] :
         {Step{"7", 0, 7}, Step{"905", 0, 905}, Step{"-3", 0, -3}, Step{"597", 2, 600}, Step{"3", -2, 0}}) {
        editor->delayField()->selectAll();
        QTest::keyClicks(editor->delayField(), typed);
        QTest::keyClick(editor->delayField(), Qt::Key_Return);
        for (int click = 0; click < std::abs(clicks); ++click) {
            QTest::mouseClick(clicks > 0 ? editor->delayUp() : editor->delayDown(), Qt::LeftButton);
        }
        EXPECT_EQ(rules.stored(0).unmountDelaySeconds, stored) << typed.toStdString();
    }
    EXPECT_FALSE(editor->delayDown()->isEnabled());
}

TEST(RulesViewTest, ARefusedSaveSnapsTheSwitchBackAndShowsTheError) {
    RulesPage rules(UiSystem::configuration({QStringLiteral("Rushes")}));
    rules.system.preferences->failWrites = true;
    QTest::mouseClick(rules.editor()->mountOnLaunchSwitch(), Qt::LeftButton);
    EXPECT_TRUE(rules.editor()->mountOnLaunchSwitch()->isChecked());
    EXPECT_TRUE(rules.page.errorLabel()->isVisible());
    EXPECT_EQ(rules.page.errorLabel()->text(), QStringLiteral("The store refused the write."));
}

// A fast typist's name arrives whole and last, in few writes, and only ever in the rule it was
// typed for, even when another rule is selected before the saves end.
TEST(RulesViewTest, TypingANameStoresTheLastTextInItsOwnRuleWithoutFloodingTheStore) {
    RulesPage rules(UiSystem::configuration({QStringLiteral("A"), QStringLiteral("B")}));
    QLineEdit* name = rules.editor()->nameField();
    name->setFocus();
    name->selectAll();
    const int writesBefore = rules.system.preferences->writeCount;
    const QString typed = QStringLiteral("Grade Day 14 ");
    QTest::keyClicks(name, typed);
    EXPECT_EQ(name->text(), typed);
    QTest::mouseClick(rules.page.cards()[1], Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return rules.stored(0).name == typed.trimmed(); }));
    EXPECT_LE(rules.system.preferences->writeCount - writesBefore, 3);
    EXPECT_EQ(rules.stored(1).name, QStringLiteral("B"));
    EXPECT_EQ(rules.editor()->nameField()->text(), QStringLiteral("B"));
}

// A rule added and set up in the window, kept in a real configuration file, then driven by a
// scripted launch and quit of the bound application through the fake disk tool.
TEST(RulesViewTest, ARuleMadeInTheWindowMountsOnLaunchAndUnmountsAfterTheQuitDelay) {
    QTemporaryDir folder;
    const auto store =
        std::make_shared<SettingsPreferencesStore>(folder.filePath(QStringLiteral("Tarnwell.conf")));
    FakeDiskTool tool(mountedDisks({QStringLiteral("Rushes")}));
    auto events = std::make_shared<ScriptedApplicationEventSource>();
    ManualDelay delay;
    TarnwellContainer::Dependencies dependencies;
    dependencies.appPresetService = presetsWithoutDiscovery();
    dependencies.ruleService = std::make_shared<RuleService>(store, dependencies.appPresetService);
    dependencies.diskService = std::make_shared<DiskService>(
        FakeDiskTool::executablePath(), std::make_shared<ShellRunner>(),
        tool.mountedVolumeLocationsFunction(), QStringList{QStringLiteral("/Volumes/")});
    dependencies.appMonitorService = std::make_shared<AppMonitorService>(events);
    dependencies.delay = delay.function();
    store->setData(RuleService::configurationKey,
                   JsonCoding::encodeDocument(UiSystem::configuration({QStringLiteral("Proxies")})));
    TarnwellContainer container(std::move(dependencies));
    runTask(container.startupFinished());
    MainWindowView window(&container);
    window.show();
    window.selectSection(MainWindowSection::Rules);
    auto* page = qobject_cast<RulesView*>(window.currentPage());
    ASSERT_TRUE(runUntil([&] { return page->addMenu()->actions().size() == 3; }));
    page->addMenu()->actions().first()->trigger();
    ASSERT_TRUE(runUntil([&] {
        return page->cards().size() == 2 && page->editor()->ruleID() == page->cards()[1]->rule().id;
    }));
    QTest::mouseClick(page->editor()->appToggles().first(), Qt::LeftButton);
    QTest::keyClick(page->editor()->postQuitPicker(), Qt::Key_End);
    QTest::mouseClick(page->editor()->delayDown(), Qt::LeftButton);
    QTest::mouseClick(page->editor()->delayDown(), Qt::LeftButton);

    const auto status = [&] { return container.controller()->targetStates().value(1).status; };
    const QString application = container.configuration().appTriggers.first().bundleIdentifiers.first();
    tool.setState(UiSystem::disks({QStringLiteral("Rushes")}));
    events->launch(application);
    ASSERT_TRUE(runUntil([&] { return status() == StorageTargetRuntimeStatus::mounted(); }));
    events->terminate(application);
    ASSERT_TRUE(runUntil([&] { return delay.pendingSeconds() == QList<qint64>{5}; }));
    delay.release();
    ASSERT_TRUE(runUntil([&] { return status() == StorageTargetRuntimeStatus::notMounted(); }));
    const StorageTargetRule stored =
        RuleService(store, presetsWithoutDiscovery()).loadConfiguration().storageRules.value(1);
    EXPECT_EQ(stored.name, QStringLiteral("Rushes"));
    EXPECT_EQ(stored.appTriggerIDs, QList<QUuid>{container.configuration().appTriggers.first().id});
    EXPECT_EQ(stored.postQuitAction, PostQuitAction::AutoUnmount);
    EXPECT_EQ(stored.unmountDelaySeconds, 5);
}
