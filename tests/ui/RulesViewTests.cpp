#include "support/UiSystem.h"
#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "platform/SettingsPreferencesStore.h"
#include "support/ManualDelay.h"
#include "support/NoPresetDiscovery.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/TaskRunner.h"
#include "ui/MainWindowView.h"
#include "ui/RuleCard.h"
#include "ui/RulesView.h"
#include "ui/StorageRuleEditorView.h"
#include "ui/ToggleSwitch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

// Volumes are listed only while mounted; the fake disk tool mounts them as the real one would.
void mount(const QStringList& names) {
    for (const QString& name : names) {
        QProcess::execute(FakeDiskTool::executablePath(),
                          {QStringLiteral("mount"), UiSystem::volumeUUID(name)});
    }
}

// The page over a whole system, shown, once the volume listing it starts on showing has finished.
struct RulesPage {
    explicit RulesPage(const TarnwellConfiguration& configuration, const QStringList& volumes = {})
        : system(configuration, UiSystem::disks(volumes)) {
        mount(volumes);
        page.resize(900, 800);
        page.show();
        EXPECT_TRUE(runUntil([this] { return page.refreshButton()->isEnabled(); }));
    }
    StorageTargetRule stored(qsizetype index) {
        return service.loadConfiguration().storageRules.value(index);
    }
    StorageRuleEditorView* editor() const { return page.editor(); }

    UiSystem system;
    RulesView page{system.container.get()};
    RuleService service{system.preferences, presetsWithoutDiscovery()};
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
    const TarnwellConfiguration configuration =
        UiSystem::configuration({QStringLiteral("A"), QStringLiteral("B")});
    RulesPage rules(configuration);
    const QUuid application = rules.system.container->configuration().appTriggers.first().id;
    runTask(rules.system.container->rulesViewModel()->setBoundAppTriggerIDs(
        {application, QUuid::createUuid()}, configuration.storageRules[0].id));
    EXPECT_EQ(rules.page.cards().first()->appCountText(), QStringLiteral("1 app bound"));
    const QPointer<StorageRuleEditorView> first = rules.editor();
    QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
    EXPECT_TRUE(first->missingLabel()->isVisibleTo(first));
    ASSERT_TRUE(runUntil(
        [&] { return rules.editor() && rules.editor()->ruleID() == configuration.storageRules[1].id; }));
    QTest::mouseClick(rules.editor()->deleteButton(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return !rules.editor(); }));
    EXPECT_EQ(rules.page.selectedRuleID(), std::nullopt);
}

// The stepper keeps to its range, a typed delay is stored as typed, and a refused save snaps a
// switch back to the stored value.
TEST(RulesViewTest, EditorControlsStoreWhatTheyShowAndSnapBackWhenASaveIsRefused) {
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
}

// A rule added and set up in the window, kept in a real configuration file, then driven by a
// scripted launch and quit of the bound application through the fake disk tool.
TEST(RulesViewTest, ARuleMadeInTheWindowMountsOnLaunchAndUnmountsAfterTheQuitDelay) {
    QTemporaryDir folder;
    const auto store =
        std::make_shared<SettingsPreferencesStore>(folder.filePath(QStringLiteral("Tarnwell.conf")));
    FakeDiskTool tool(UiSystem::disks({QStringLiteral("Rushes")}));
    mount({QStringLiteral("Rushes")});
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
    EXPECT_EQ(stored.appTriggerIDs, QList<QUuid>{container.configuration().appTriggers.first().id});
    EXPECT_EQ(stored.postQuitAction, PostQuitAction::AutoUnmount);
    EXPECT_EQ(stored.unmountDelaySeconds, 5);
}
