#include "core/automation/AppMonitorService.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/support/Localization.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "support/ManualDelay.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"
#include "support/ScriptedApplicationEventSource.h"
#include "support/ScriptedDriveChangeSource.h"
#include "support/TaskRunner.h"
#include "support/UiSystem.h"
#include "ui/LinuxWordingTranslator.h"
#include "ui/TarnwellApp.h"
#include "ui/components/ConfirmationDialog.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/components/WorkspaceSplitView.h"
#include "ui/pages/apps/AppManagementIcon.h"
#include "ui/pages/apps/AppManagementRow.h"
#include "ui/pages/apps/ApplicationChooserDialog.h"
#include "ui/pages/apps/AppsView.h"
#include "ui/pages/dashboard/DashboardStatusBadge.h"
#include "ui/pages/dashboard/DashboardStorageRuleRow.h"
#include "ui/pages/dashboard/DashboardSummaryCard.h"
#include "ui/pages/dashboard/DashboardView.h"
#include "ui/pages/diagnostics/DiagnosticsLogView.h"
#include "ui/pages/diagnostics/DiagnosticsView.h"
#include "ui/pages/diagnostics/HealthCheckRow.h"
#include "ui/pages/rules/RuleCard.h"
#include "ui/pages/rules/RulesView.h"
#include "ui/pages/rules/StorageRuleEditorView.h"
#include "ui/pages/settings/GeneralSettingsView.h"
#include "ui/pages/volumes/VolumeDetailRow.h"
#include "ui/pages/volumes/VolumeRow.h"
#include "ui/pages/volumes/VolumesView.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"
#include "ui/tray/MenuBarView.h"
#include "ui/tray/MenuValueRow.h"
#include "ui/tray/TarnwellTray.h"
#include "ui/window/TarnwellSidebar.h"
#include "ui/window/TarnwellSidebarItem.h"
#include "ui/window/TarnwellSidebarStatusCard.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDirIterator>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

bool shows(QWidget* page, const QString& text) {
    const QList<QLabel*> all = page->findChildren<QLabel*>();
    return std::any_of(all.begin(), all.end(),
                       [&](QLabel* l) { return l->isVisible() && l->text() == text; });
}

template <typename T> T* named(QWidget* page, const QString& name) {
    const QList<T*> all = page->findChildren<T*>();
    const auto found =
        std::find_if(all.begin(), all.end(), [&](T* c) { return c->accessibleName() == name; });
    return found == all.end() ? nullptr : *found;
}

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// Does to a control what a screen reader or a voice-control tool does, through Qt's interfaces.
void act(QObject* control, const QString& action) {
    accessible(control)->actionInterface()->doAction(action);
}

void present(QWidget* page) {
    page->resize(960, 700);
    page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page));
}

AppTrigger custom(const QString& name, QList<QString> identifiers, std::optional<QString> appPath = {}) {
    return AppTrigger{QUuid::createUuid(), name, std::move(identifiers), true, false, std::move(appPath)};
}

// Answers the question a deletion asks, modal to its window, through the dialog's accessible buttons.
void answer(bool confirm) {
    ConfirmationDialog* dialog = nullptr;
    ASSERT_TRUE(runUntil([&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* question = qobject_cast<ConfirmationDialog*>(window);
            dialog = question && question->isVisible() ? question : dialog;
        }
        return dialog != nullptr;
    }));
    EXPECT_TRUE(dialog->parentWidget() && dialog->windowModality() == Qt::WindowModal);
    const QPointer<ConfirmationDialog> asked(dialog);
    act(confirm ? dialog->confirmButton() : dialog->button(QMessageBox::Cancel),
        QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(runUntil([&] { return !asked; }));
}

// The Rules page over a whole system, shown, once the volume listing it starts on showing has finished.
struct RulesPage {
    explicit RulesPage(const TarnwellConfiguration& configuration)
        : system(configuration, UiSystem::disks({})) {
        page.show();
        EXPECT_TRUE(runUntil([this] { return page.refreshButton()->isEnabled(); }));
    }
    StorageTargetRule stored(qsizetype i) { return service.loadConfiguration().storageRules.value(i); }

    UiSystem system;
    RulesView page{system.container.get()};
    RuleService service{system.preferences, presetsWithoutDiscovery()};
};

} // namespace

// Refused changes snap back; the page, or the panel, says why where the switch is, and announces it;
// a file at autostart makes the session refuse.
TEST(PagesTest, ARefusedSwitchSnapsBackAndThePageAnnouncesTheReason) {
    const QList<std::tuple<std::function<QWidget*(TarnwellContainer*)>, QString, bool>> cases{
        {[](TarnwellContainer* c) { return new AppsView(c); }, "Enable Final Cut Pro", false},
        {[](TarnwellContainer* c) { return new GeneralSettingsView(c); }, localized("Notifications"), false},
        {[](TarnwellContainer* c) { return new GeneralSettingsView(c); }, localized("Launch at Login"), true},
        {[](TarnwellContainer* c) { return new MenuBarView(c, {}); }, localized("Launch at Login"), true},
        {[](TarnwellContainer* c) { return new VolumesView(c); }, localized("Show All Volumes"), false},
        {[](TarnwellContainer* c) { return new RulesView(c); }, {}, false},
    };
    const QString autostart = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
    for (const auto& [makePage, name, bySession] : cases) {
        SCOPED_TRACE(name.toStdString());
        UiSystem system(UiSystem::configuration({QStringLiteral("Rushes")}),
                        UiSystem::disks({QStringLiteral("Rushes")}));
        std::unique_ptr<QWidget> page(makePage(system.container.get()));
        present(page.get());
        auto* volumes = qobject_cast<VolumesView*>(page.get());
        auto* rules = qobject_cast<RulesView*>(page.get());
        ASSERT_TRUE(runUntil([&] {
            return (!volumes || volumes->didRefresh()) && (!rules || rules->refreshButton()->isEnabled());
        }));
        ToggleSwitch* control =
            rules ? rules->editor()->mountOnLaunchSwitch() : named<ToggleSwitch>(page.get(), name);
        ASSERT_NE(control, nullptr);
        const bool stored = control->isChecked();
        ASSERT_TRUE(!bySession || (QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME")) &&
                                   QFile(autostart).open(QIODevice::WriteOnly)));
        system.preferences->failWrites = !bySession;
        QTest::mouseClick(control, Qt::LeftButton);
        const QString reason =
            bySession ? QStringLiteral("autostart") : QStringLiteral("The store refused the write.");
        EXPECT_TRUE(runUntil([&] {
            const QList<NoticeLabel*> notices = page->findChildren<NoticeLabel*>();
            return control->isChecked() == stored &&
                   std::any_of(notices.begin(), notices.end(), [&](NoticeLabel* notice) {
                       return notice->isVisible() &&
                              accessible(notice)->role() == QAccessible::AlertMessage &&
                              accessible(notice)->text(QAccessible::Name).contains(reason);
                   });
        }));
        QFile::remove(autostart);
    }
}

// The user's apps come first, presets not installed below them, marked and never hidden. Adding opens
// one chooser, modal to the window however often it is asked for, listing the user's and Flatpak's
// entries by name, with search; the wording is Linux's; a custom app goes only once confirmed.
TEST(AppsViewTest, TheChooserAddsAnInstalledAppAndDeletingAsksFirst) {
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    for (const auto& [path, name] :
         {std::pair{"/applications/org.example.Cutter.desktop", "Cutter"},
          {"/flatpak/exports/share/applications/org.example.Grader.desktop", "Grader"}}) {
        QDir().mkpath(QFileInfo(data + path).path());
        QFile file(data + path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.write(QByteArray("[Desktop Entry]\nExec=true\nName=") + name) > 0);
    }
    TarnwellConfiguration configuration = UiSystem::configuration({});
    configuration.appTriggers.append(custom(QStringLiteral("Mine"), {QStringLiteral("org.Mine")}));
    UiSystem system(configuration);
    QWidget window;
    auto* page = new AppsView(system.container.get(), &window);
    present(&window);
    page->resize(window.size());
    const QList<AppManagementRow*> rows = page->findChildren<AppManagementRow*>();
    ASSERT_GT(rows.size(), 11);
    EXPECT_EQ(rows.first()->trigger().displayName, QStringLiteral("Mine"));
    for (AppManagementRow* row : rows) {
        EXPECT_EQ(shows(row, localized("Preset")), row->trigger().isBuiltInPreset);
        EXPECT_EQ(shows(row, localized("Not installed")), row->trigger().isBuiltInPreset);
    }

    auto* add = named<PrimaryActionButton>(page, localized("Add Custom App"));
    act(add, QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(runUntil([&] { return window.findChildren<ApplicationChooserDialog*>().size() == 1; }));
    act(add, QAccessibleActionInterface::pressAction());
    QTest::qWait(300);
    ASSERT_EQ(window.findChildren<ApplicationChooserDialog*>().size(), 1);
    auto* chooser = window.findChild<ApplicationChooserDialog*>();
    EXPECT_EQ(chooser->windowModality(), Qt::WindowModal);
    const auto shown = [&] {
        QStringList names;
        for (int row = 0; row < chooser->applicationList()->count(); ++row) {
            const QListWidgetItem* item = chooser->applicationList()->item(row);
            names << (item->isHidden() ? QString() : item->text());
        }
        names.removeAll(QString());
        return names;
    };
    ASSERT_TRUE(runUntil([&] { return shown().contains("Cutter") && shown().contains("Grader"); }));
    QTest::keyClicks(chooser->searchField(), QStringLiteral("example.grad"));
    EXPECT_EQ(shown(), QStringList{"Grader"});
    QTest::keyClick(chooser->searchField(), Qt::Key_Return);
    ASSERT_TRUE(runUntil([&] { return rows.size() + 1 == page->findChildren<AppManagementRow*>().size(); }));
    const AppTrigger grader = system.container->configuration().appTriggers.last();
    EXPECT_EQ(grader.bundleIdentifiers, QList<QString>{QStringLiteral("org.example.Grader")});

    LinuxWordingTranslator linuxWording;
    QCoreApplication::installTranslator(&linuxWording);
    EXPECT_FALSE(
        localized("Selected app does not have a bundle identifier.").contains(QStringLiteral("bundle")));
    QCoreApplication::removeTranslator(&linuxWording);

    QTest::mouseClick(named<QToolButton>(page, QStringLiteral("Delete Grader")), Qt::LeftButton);
    answer(false);
    EXPECT_EQ(system.container->configuration().appTriggers.last(), grader);
    QTest::mouseClick(named<QToolButton>(page, QStringLiteral("Delete Grader")), Qt::LeftButton);
    answer(true);
    EXPECT_TRUE(
        runUntil([&] { return system.container->configuration().appTriggers.size() == rows.size(); }));
}

TEST(AppsViewTest, TheFirstMatchingIconWinsFromTheChosenFileToTheGenericIcon) {
    QTemporaryDir folder;
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(folder.filePath("cutter.png")) && QDir(folder.path()).mkpath("applications"));
    const QString entry = folder.filePath("applications/org.Cutter.desktop");
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                file.write("[Desktop Entry]\nName=Cutter\nExec=true\nIcon=" +
                           folder.filePath("cutter.png").toUtf8()) > 0);
    file.close();
    auto index = std::make_shared<const DesktopEntryIndex>(
        DesktopEntryIndex::load({folder.filePath("applications")}, qEnvironmentVariable("PATH")));
    using Source = AppManagementIcon::Source;
    const QList<std::tuple<AppTrigger, Source, QString>> cases{
        {custom("Mine", {"com.lemon.lvpro"}, entry), Source::AppPath, {}},
        {custom("Mine", {"org.Missing", "org.Cutter"}), Source::DesktopEntry, {}},
        {custom("CapCut", {"org.Missing"}), Source::Preset, "PresetIconCapCut"},
        {custom("CapCut", {"org.Missing", "com.adobe.PremierePro.25"}), Source::Preset,
         "PresetIconPremierePro"},
        {custom("Mine", {"org.Missing"}, folder.filePath("gone.desktop")), Source::Generic, {}},
    };
    for (const auto& [trigger, source, asset] : cases) {
        AppManagementIcon icon(trigger, index);
        EXPECT_EQ(icon.source(), source);
        EXPECT_EQ(icon.presetAsset(), asset);
        if (source == Source::AppPath || source == Source::DesktopEntry) {
            EXPECT_EQ(icon.grab().toImage().pixelColor(22, 22), QColor(Qt::red));
        }
    }
}

// A dangling application id is not counted; a share's rule has no card; no volumes, nothing to add.
TEST(RulesViewTest, DeletingTheSelectedRuleSelectsTheNextAndTheLastLeavesNoSelection) {
    TarnwellConfiguration configuration = UiSystem::configuration({"A", "B", "Share"});
    configuration.storageRules[2].target =
        SMBTarget{QStringLiteral("Share"), QStringLiteral("smb://nas/share"), {}};
    RulesPage rules(configuration);
    const QUuid application = rules.system.container->configuration().appTriggers.first().id;
    runTask(rules.system.container->rulesViewModel()->setBoundAppTriggerIDs(
        {application, QUuid::createUuid()}, configuration.storageRules[0].id));
    EXPECT_EQ(rules.page.cards().first()->appCountText(), QStringLiteral("1 app bound"));
    const QPointer<StorageRuleEditorView> first = rules.page.editor();
    // Deleting asks first: declined, the rule stays.
    QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
    answer(false);
    EXPECT_EQ(rules.page.cards().size(), 2);
    QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
    answer(true);
    ASSERT_TRUE(runUntil([&] {
        return rules.page.editor() && rules.page.editor()->ruleID() == configuration.storageRules[1].id;
    }));
    QTest::mouseClick(rules.page.editor()->deleteButton(), Qt::LeftButton);
    answer(true);
    ASSERT_TRUE(runUntil([&] { return !rules.page.editor(); }));
    EXPECT_EQ(rules.page.selectedRuleID(), std::nullopt);
    EXPECT_TRUE(rules.page.cards().isEmpty());
    // Without an external volume the menu says how to get one, and can show every volume.
    ASSERT_EQ(rules.page.addMenu()->actions().size(), 3);
    EXPECT_FALSE(rules.page.addMenu()->actions()[1]->isEnabled());
    rules.page.addMenu()->actions()[2]->trigger();
    EXPECT_TRUE(runUntil([&] { return rules.system.container->configuration().showAllVolumes; }));
}

// The stepper keeps its range, a typed delay is kept as typed (and counts before a step), a field
// left empty or with a lone minus shows the stored value, a fast typed name goes whole to its own rule.
TEST(RulesViewTest, TheEditorStoresTheDelayAndNameAsEnteredInItsOwnRule) {
    RulesPage rules(UiSystem::configuration({QStringLiteral("A"), QStringLiteral("B")}));
    StorageRuleEditorView* editor = rules.page.editor();
    QLineEdit* delay = editor->delayField();
    using Step = std::tuple<QString, Qt::Key, int, qint64>;
    for (const auto& [typed, end, clicks, stored] :
         {Step{"7", Qt::Key_Return, 0, 7}, Step{"905", Qt::Key_Return, 0, 905},
          Step{"-3", Qt::Key_Tab, 0, -3}, Step{"597", Qt::Key_Return, 2, 600},
          Step{"20", Qt::Key_unknown, 1, 25}, Step{"-", Qt::Key_unknown, 1, 30}, Step{"", Qt::Key_Tab, 0, 30},
          Step{"3", Qt::Key_Return, -2, 0}}) {
        delay->setFocus();
        delay->selectAll();
        QTest::keyClicks(delay, typed);
        if (typed.isEmpty()) {
            QTest::keyClick(delay, Qt::Key_Backspace);
        }
        if (end != Qt::Key_unknown) {
            QTest::keyClick(delay, end);
        }
        for (int click = 0; click < std::abs(clicks); ++click) {
            QTest::mouseClick(clicks > 0 ? editor->delayUp() : editor->delayDown(), Qt::LeftButton);
        }
        EXPECT_EQ(rules.stored(0).unmountDelaySeconds, stored) << typed.toStdString();
        EXPECT_TRUE(clicks == 0 || delay->text() == QString::number(stored)) << delay->text().toStdString();
        EXPECT_TRUE(end != Qt::Key_Tab || delay->text() == QString::number(stored)) << typed.toStdString();
    }
    EXPECT_FALSE(editor->delayDown()->isEnabled());
    QLineEdit* name = editor->nameField();
    name->setFocus();
    name->selectAll();
    const int writesBefore = rules.system.preferences->writeCount;
    const QString typed = QStringLiteral("Grade Day 14 ");
    QTest::keyClicks(name, typed);
    QTest::mouseClick(rules.page.cards()[1], Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return rules.stored(0).name == typed.trimmed(); }));
    EXPECT_LE(rules.system.preferences->writeCount - writesBefore, 3);
    EXPECT_EQ(rules.stored(1).name, QStringLiteral("B"));
}

// Driven through the accessibility interfaces alone, as a screen reader or a voice-control tool does:
// every control saves what it shows, the sidebar is a tab list whose tabs switch the page, rule cards
// and volume rows are list items that focus selects, and names say whose a control is.
TEST(AccessibilityTest, EveryControlCommitsWhatItShowsAndListsSayWhatIsSelected) {
    const QStringList names{QStringLiteral("A"), QStringLiteral("B")};
    UiSystem system(UiSystem::configuration(names), UiSystem::disks(names, names));
    const auto stored = [&](qsizetype index) {
        return RuleService(system.preferences, presetsWithoutDiscovery())
            .loadConfiguration()
            .storageRules.value(index);
    };
    MainWindowView window(system.container.get());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    TarnwellSidebarItem* rulesTab = window.sidebar()->item(MainWindowSection::Rules);
    EXPECT_EQ(accessible(rulesTab)->role(), QAccessible::PageTab);
    EXPECT_EQ(accessible(rulesTab)->parent()->role(), QAccessible::PageTabList);
    act(rulesTab, QAccessibleActionInterface::pressAction());
    ASSERT_EQ(window.currentSection(), MainWindowSection::Rules);
    for (MainWindowSection section : allMainWindowSections()) {
        EXPECT_EQ(accessible(window.sidebar()->item(section))->state().selected,
                  section == MainWindowSection::Rules);
    }
    auto* page = qobject_cast<RulesView*>(window.currentPage());
    ASSERT_TRUE(runUntil([&] { return page->refreshButton()->isEnabled(); }));
    page->cards()[1]->setFocus();
    EXPECT_EQ(page->selectedRuleID(), stored(1).id);
    EXPECT_EQ(accessible(page->cards()[0])->role(), QAccessible::ListItem);
    EXPECT_EQ(accessible(page->cards()[0])->parent()->role(), QAccessible::List);
    EXPECT_TRUE(accessible(page->cards()[1])->state().selected &&
                !accessible(page->cards()[0])->state().selected);
    act(page->cards()[0], QAccessibleActionInterface::pressAction());
    ASSERT_EQ(page->selectedRuleID(), stored(0).id);

    const StorageTargetRule before = stored(0);
    StorageRuleEditorView* editor = page->editor();
    const QString toggle = QAccessibleActionInterface::toggleAction();
    act(editor->mountOnLaunchSwitch(), toggle);
    act(editor->notificationsSwitch(), toggle);
    act(editor->appToggles().first(), toggle);
    act(page->cards()[1]->enabledSwitch(), toggle);
    QAccessibleEditableTextInterface* name = accessible(editor->nameField())->editableTextInterface();
    name->replaceText(0, int(before.name.size()), QStringLiteral("Interviews"));
    accessible(editor->delayField())->setText(QAccessible::Value, QStringLiteral("45"));
    editor->postQuitPicker()->setCurrentIndex(2);
    ASSERT_TRUE(runUntil([&] { return stored(0).name == QStringLiteral("Interviews"); }));
    const StorageTargetRule after = stored(0);
    EXPECT_NE(after.mountOnAppLaunch, before.mountOnAppLaunch);
    EXPECT_NE(after.showNotifications, before.showNotifications);
    EXPECT_EQ(after.appTriggerIDs.size(), before.appTriggerIDs.size() + 1);
    EXPECT_EQ(after.unmountDelaySeconds, 45);
    EXPECT_EQ(after.postQuitAction, PostQuitAction::AutoUnmount);
    EXPECT_EQ(editor->mountOnLaunchSwitch()->isChecked(), after.mountOnAppLaunch);
    EXPECT_FALSE(stored(1).isEnabled || page->cards()[1]->enabledSwitch()->isChecked());
    EXPECT_EQ(accessible(page->cards()[1]->enabledSwitch())->text(QAccessible::Name),
              QStringLiteral("Enable B"));

    window.selectSection(MainWindowSection::Volumes);
    auto* volumes = qobject_cast<VolumesView*>(window.currentPage());
    ASSERT_TRUE(
        runUntil([&] { return volumes->didRefresh() && volumes->findChildren<VolumeRow*>().size() == 2; }));
    VolumeRow* row = volumes->findChildren<VolumeRow*>()[1];
    row->setFocus();
    EXPECT_TRUE(row->isSelected() && accessible(row)->state().selected);
    EXPECT_EQ(accessible(row)->parent()->role(), QAccessible::List);

    window.selectSection(MainWindowSection::Apps);
    QStringList controls;
    for (QAbstractButton* button : window.currentPage()->findChildren<QAbstractButton*>()) {
        controls.append(button->accessibleName());
    }
    EXPECT_EQ(QSet<QString>(controls.begin(), controls.end()).size(), controls.size())
        << controls.join(", ").toStdString();
    act(named<ToggleSwitch>(window.currentPage(), QStringLiteral("Enable DaVinci Resolve")), toggle);
    EXPECT_TRUE(runUntil([&] {
        const QList<AppTrigger> triggers = system.container->configuration().appTriggers;
        return std::any_of(triggers.begin(), triggers.end(), [](const AppTrigger& t) {
            return t.displayName == u"DaVinci Resolve" && !t.isEnabled;
        });
    }));
    window.selectSection(MainWindowSection::Settings);
    EXPECT_EQ(accessible(named<QLabel>(window.currentPage(), localized("Check for Updates")))
                  ->text(QAccessible::Description),
              localized("Coming Soon"));
}

// The Settings page's switch speaks for every rule: on when all notify, how many when they differ,
// setting all at once; with no rule it is disabled.
TEST(SettingsViewTest, TheNotificationsSwitchCoversEveryRule) {
    TarnwellConfiguration configuration = UiSystem::configuration({"A", "B", "C"});
    configuration.storageRules[1].showNotifications = false;
    for (const TarnwellConfiguration& shown : {configuration, UiSystem::configuration({})}) {
        UiSystem system(shown);
        GeneralSettingsView page(system.container.get());
        present(&page);
        ToggleSwitch* control = page.notificationsSwitch();
        EXPECT_FALSE(control->isChecked());
        if (shown.storageRules.isEmpty()) {
            EXPECT_FALSE(control->isEnabled());
            continue;
        }
        EXPECT_EQ(page.notificationsCaption()->text(), QStringLiteral("On for 2 of 3 rules"));
        QTest::mouseClick(control, Qt::LeftButton);
        const QList<StorageTargetRule> rules =
            RuleService(system.preferences, presetsWithoutDiscovery()).loadConfiguration().storageRules;
        EXPECT_TRUE(
            std::all_of(rules.begin(), rules.end(), [](const auto& rule) { return rule.showNotifications; }));
        EXPECT_TRUE(control->isChecked() && page.notificationsCaption()->isHidden());
    }
}

// The editor offers the volumes the add menu offers, never an internal one by a slip; a rule already
// on an internal volume keeps it, and an internal volume says so wherever it shows.
TEST(RulesViewTest, TheVolumePickerOffersExternalVolumesAndMarksAnInternalOne) {
    TarnwellConfiguration configuration = UiSystem::configuration({"Rushes", "System"});
    configuration.showAllVolumes = true;
    configuration.storageRules[1].target =
        LocalVolumeTarget{"System", UiSystem::volumeUUID("System"), {}, {}, {}, {}, false};
    QJsonObject disks = UiSystem::disks({"Rushes", "Proxies"}, {"Rushes", "Proxies"});
    QJsonArray all = disks["disks"].toArray();
    QJsonObject internal = UiSystem::disks({"System"}, {"System"})["disks"].toArray().first().toObject();
    internal["internal"] = true;
    internal["deviceIdentifier"] = "disk1";
    all.append(internal);
    disks["disks"] = all;
    UiSystem system(configuration, disks);
    RulesView page(system.container.get());
    page.show();
    // Showing all volumes offers the internal one to a new rule too, marked.
    ASSERT_TRUE(
        runUntil([&] { return page.refreshButton()->isEnabled() && page.addMenu()->actions().size() == 5; }));
    EXPECT_EQ(page.addMenu()->actions()[2]->text(), QStringLiteral("System (Internal)"));
    const auto options = [&] {
        QStringList items;
        for (int index = 0; index < page.editor()->volumePicker()->count(); ++index) {
            items.append(page.editor()->volumePicker()->itemText(index));
        }
        return items;
    };
    EXPECT_EQ(options(), (QStringList{"Rushes", "Proxies"}));
    page.selectRule(configuration.storageRules[1].id);
    EXPECT_EQ(options(), (QStringList{"System (Internal)", "Rushes", "Proxies"}));
    VolumesView volumes(system.container.get());
    present(&volumes);
    ASSERT_TRUE(runUntil([&] { return volumes.didRefresh(); }));
    const QList<VolumeRow*> rows = volumes.findChildren<VolumeRow*>();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](VolumeRow* row) {
        return row->detail() == QStringLiteral("Internal · /Volumes/System");
    }));
}

// A rule made in the window, kept in a real file, driven by scripted launches and quits of its app:
// auto-unmount after the delay, a busy volume that stays mounted, then a reminder.
TEST(RulesViewTest, ARuleMadeInTheWindowMountsOnLaunchAndUnmountsAfterTheQuitDelay) {
    QTemporaryDir folder;
    const auto store =
        std::make_shared<SettingsPreferencesStore>(folder.filePath(QStringLiteral("Tarnwell.conf")));
    const QStringList volumes{QStringLiteral("Rushes")};
    FakeDiskTool tool(UiSystem::disks(volumes, volumes));
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
    dependencies.driveChanges = std::make_shared<ScriptedDriveChangeSource>();
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
        return page->cards().size() == 2 && page->editor()->ruleID() == page->cards()[1]->rule().id &&
               page->editor()->isVisible();
    }));
    QTest::mouseClick(page->editor()->appToggles().first(), Qt::LeftButton);
    QTest::keyClick(page->editor()->postQuitPicker(), Qt::Key_End);
    QTest::mouseClick(page->editor()->delayDown(), Qt::LeftButton);
    QTest::mouseClick(page->editor()->delayDown(), Qt::LeftButton);

    const auto status = [&] { return container.controller()->targetStates().value(1).status; };
    const QString application = container.configuration().appTriggers.first().bundleIdentifiers.first();
    tool.setState(UiSystem::disks(volumes));
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

    // A volume in use is never forced: the unmount fails, names who holds it, and the volume stays.
    tool.setState(UiSystem::disks(volumes, {}, volumes));
    events->launch(application);
    ASSERT_TRUE(runUntil([&] { return status() == StorageTargetRuntimeStatus::mounted(); }));
    events->terminate(application);
    ASSERT_TRUE(runUntil([&] { return !delay.pendingSeconds().isEmpty(); }));
    delay.release();
    ASSERT_TRUE(runUntil([&] { return status().kind() == StorageTargetRuntimeStatus::Kind::UnmountFailed; }));
    EXPECT_TRUE(status().message().contains(QStringLiteral("4242 (render)")))
        << status().message().toStdString();
    for (const QStringList& invocation : tool.invocations()) {
        EXPECT_FALSE(invocation.join(' ').contains(QStringLiteral("force")))
            << invocation.join(' ').toStdString();
    }

    // A reminder chosen in the editor leaves the volume mounted after the quit.
    QTest::keyClick(page->editor()->postQuitPicker(), Qt::Key_Up);
    ASSERT_TRUE(runUntil([&] {
        return container.configuration().storageRules.value(1).postQuitAction == PostQuitAction::Remind;
    }));
    events->launch(application);
    ASSERT_TRUE(runUntil([&] { return status() == StorageTargetRuntimeStatus::mounted(); }));
    events->terminate(application);
    ASSERT_TRUE(runUntil([&] { return status() == StorageTargetRuntimeStatus::readyToUnmount(); }));
    // Since the busy state was set, only the refused unmount ran.
    const QList<QStringList> runs = tool.invocations();
    EXPECT_EQ(std::count_if(runs.begin(), runs.end(),
                            [](const QStringList& run) { return run.first() == u"unmount"; }),
              1);
}

// Long names elide, buttons drive the controller and one not offered is inert; no rules: the first steps.
TEST(DashboardViewTest, RowsElideAndDriveTheControllerAndWithoutRulesTheFirstStepsStandIn) {
    const QStringList names{QString(200, QLatin1Char('R')),
                            QStringLiteral("素材盘剪辑项目二〇二六年度纪录片母带备份素材盘剪辑项目")};
    for (const QStringList& ruleNames : {names, QStringList{}}) {
        TarnwellConfiguration configuration = UiSystem::configuration(ruleNames);
        if (!ruleNames.isEmpty()) {
            configuration.storageRules[0].isEnabled = false;
        }
        UiSystem system(configuration, UiSystem::disks(ruleNames));
        DashboardView page(system.container.get());
        page.resize(740, 700);
        page.show();
        const QList<DashboardStorageRuleRow*> rows = page.findChildren<DashboardStorageRuleRow*>();
        ASSERT_EQ(rows.size(), ruleNames.size());
        for (qsizetype index = 0; index < rows.size(); ++index) {
            const ElidedLabel* title = rows[index]->findChild<ElidedLabel*>();
            EXPECT_EQ(title->toolTip(), names[index]);
            EXPECT_LE(title->fontMetrics().horizontalAdvance(title->text()), title->width());
            EXPECT_EQ(rows[index]->findChild<DashboardStatusBadge*>()->text() == "Disabled", index == 0);
        }
        const QList<ElidedLabel*> labels = page.findChildren<ElidedLabel*>();
        const QStringList steps = system.container->dashboardViewModel()->emptyStateSteps();
        EXPECT_EQ(std::count_if(labels.begin(), labels.end(),
                                [&](auto* label) { return steps.contains(label->fullText()); }),
                  steps.size());
        for (DashboardStorageRuleRow* row : rows.mid(1)) {
            QTest::mouseClick(row->unmountButton(), Qt::LeftButton);
            QTest::mouseClick(row->mountButton(), Qt::LeftButton);
            ASSERT_TRUE(runUntil([&] { return row->unmountButton()->isEnabled(); }));
            EXPECT_FALSE(row->mountButton()->isEnabled());
            QTest::mouseClick(row->mountButton(), Qt::LeftButton);
            QTest::mouseClick(row->unmountButton(), Qt::LeftButton);
            ASSERT_TRUE(runUntil([&] { return row->mountButton()->isEnabled(); }));
            EXPECT_EQ(system.runs(QStringLiteral("mount")), 1);
            EXPECT_EQ(system.runs(QStringLiteral("unmount")), 1);
        }
    }
}

// The summary verbatim, the minimum size, Diagnostics building no other page (so no view model),
// and the keyboard.
TEST(MainWindowViewTest, StatusCardMinimumSizeAndDiagnosticsAlone) {
    for (const auto& [rules, shown, symbol] :
         {std::tuple{QStringList{}, QStringLiteral("All Good"), QStringLiteral("checkmark.shield.fill")},
          std::tuple{QStringList{"Rushes"}, QStringLiteral("1 error"),
                     QStringLiteral("exclamationmark.triangle.fill")}}) {
        UiSystem system(UiSystem::configuration(rules), UiSystem::disks({}));
        MainWindowView window(system.container.get());
        EXPECT_EQ(window.sidebar()->statusCard()->statusText(), shown);
        // The card and the dashboard's Safety card never put a failure under the shield.
        EXPECT_EQ(window.sidebar()->statusCard()->symbol().name, symbol);
        const auto* safety = named<DashboardSummaryCard>(window.currentPage(), localized("Safety"));
        EXPECT_EQ(safety->symbol().name, symbol);
        EXPECT_EQ(safety->caption(),
                  rules.isEmpty() ? localized("No risk detected") : localized("Needs attention"));
        // The latest event says what happened and when; its tooltip has the whole line.
        const auto* event = named<DashboardSummaryCard>(window.currentPage(), localized("Recent Event"));
        const QStringList lines = system.container->logger()->entries();
        EXPECT_TRUE(lines.isEmpty() ||
                    (event->toolTip() == lines.last() && lines.last().endsWith(event->value()) &&
                     event->caption() == QStringLiteral("Just now")))
            << event->value().toStdString() << " / " << event->caption().toStdString();
        window.show();
        window.resize(400, 300);
        EXPECT_TRUE(window.width() >= 940 && window.height() >= 640)
            << window.width() << "x" << window.height();
        window.sidebar()->item(MainWindowSection::Diagnostics)->click();
        EXPECT_EQ(window.findChildren<WorkspacePage*>().size(), 2); // the Dashboard and Diagnostics
        // The keyboard alone moves between sections: Ctrl+number, then the arrows in the sidebar.
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_6, Qt::ControlModifier);
        EXPECT_EQ(window.currentSection(), MainWindowSection::Settings);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        EXPECT_EQ(window.currentSection(), MainWindowSection::Diagnostics);
        // Showing Diagnostics runs its checks; they end before the system they look at.
        EXPECT_TRUE(runUntil([&] {
            const DiagnosticsViewModel* model = system.container->diagnosticsViewModel();
            return !model->isRunning() && model->rows().first().hasAnswered;
        }));
    }
}

// The way here from the status card and the dashboard; the checks run on showing and only look;
// the Drives row reads the rules' targets through the disk tool; the filter follows the live log.
TEST(DiagnosticsViewTest, ReachedFromCardAndDashboardChecksOnShowingAndFiltersTheLiveLog) {
    UiSystem system(UiSystem::configuration({"Rushes", "Archive"}), UiSystem::disks({"Rushes"}, {"Rushes"}));
    MainWindowView window(system.container.get());
    present(&window);
    act(window.sidebar()->statusCard(), QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(runUntil([&] { return window.currentSection() == MainWindowSection::Diagnostics; }));
    window.selectSection(MainWindowSection::Dashboard);
    const QList<QPushButton*> buttons = window.currentPage()->findChildren<QPushButton*>();
    const auto open = std::find_if(buttons.begin(), buttons.end(),
                                   [](QPushButton* button) { return button->text() == "Open Diagnostics"; });
    ASSERT_NE(open, buttons.end());
    (*open)->click();
    auto* page = qobject_cast<DiagnosticsView*>(window.currentPage());
    ASSERT_NE(page, nullptr);
    DiagnosticsViewModel* model = system.container->diagnosticsViewModel();
    ASSERT_TRUE(runUntil([&] { return !model->isRunning() && model->rows().first().hasAnswered; }));
    const auto row = [&](const QString& title) {
        const auto rows = page->checkRows();
        const auto found = std::find_if(rows.begin(), rows.end(), [&](HealthCheckRow* each) {
            return accessible(each)->text(QAccessible::Name).startsWith(title + ": ");
        });
        return found == rows.end() ? nullptr : *found;
    };
    ASSERT_EQ(page->checkRows().size(), 8);
    ASSERT_NE(row("Disk tool"), nullptr);
    EXPECT_EQ(accessible(row("Disk tool"))->text(QAccessible::Name), "Disk tool: fine");
    EXPECT_TRUE(row("Disk tool")->findingText().contains(" answered a listing in "));
    EXPECT_EQ(accessible(row("Drives"))->text(QAccessible::Name), "Drives: needs attention");
    EXPECT_EQ(row("Drives")->findingText(), "Targets found for 1 of 2 rules.");
    EXPECT_EQ(row("Drives")->detailsText(),
              "Rushes: Rushes is mounted at /Volumes/Rushes; nothing of yours keeps it busy.\n"
              "Archive: Archive is not found; connect the drive.");
    EXPECT_FALSE(row("Drives")->adviceText().isEmpty());
    EXPECT_EQ(system.runs("mount") + system.runs("unmount"), 0);

    LogService& log = *system.container->logger();
    log.record("Manual rule mount failed to mount Archive: not found");
    act(page->failuresOnlySwitch(), QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(runUntil([&] { return page->failuresOnlySwitch()->isChecked(); }));
    log.record("App launched: org.example.editor");
    log.record("Auto-unmount failed to unmount Rushes: target is busy");
    EXPECT_EQ(page->logView()->shownLines(), model->logLines(true));
    EXPECT_EQ(page->logView()->shownLines().filter("App launched").size(), 0);
    act(page->failuresOnlySwitch(), QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(runUntil([&] { return !page->failuresOnlySwitch()->isChecked(); }));
    EXPECT_EQ(page->logView()->shownLines(), log.entries());
    page->copyReport();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(
        "Drives: needs attention\n  Targets found for 1 of 2 rules."));
}

TEST(MenuBarViewTest, TheBulkActionsFollowTheRulesStates) {
    using Case = std::tuple<QStringList, bool, bool, bool, bool>;
    for (const auto& [rules, mountFails, noDriveSelected, canMount, canUnmount] :
         {Case{{}, false, true, false, false}, Case{{"Rushes"}, true, false, true, false},
          Case{{"Rushes"}, false, false, false, true}}) {
        QJsonObject disks = UiSystem::disks({QStringLiteral("Rushes")});
        if (mountFails) {
            disks[QStringLiteral("failures")] =
                QJsonArray{QJsonObject{{"command", "mount"}, {"exitCode", 1}}};
        }
        UiSystem system(UiSystem::configuration(rules), disks);
        runTask(system.container->mountMissingTargets());
        MenuBarView panel(system.container.get(), {});
        const auto rows = panel.findChildren<MenuValueRow*>();
        EXPECT_EQ(std::any_of(rows.begin(), rows.end(),
                              [](auto* row) { return row->value() == "No Drive Selected"; }),
                  noDriveSelected);
        EXPECT_EQ(panel.mountButton()->isEnabled(), canMount);
        EXPECT_EQ(panel.unmountButton()->isEnabled(), canUnmount);
    }
}

// Each showing refreshes once, showing again while visible does not; a press shows its feedback at
// once; Copy Logs says what it did.
TEST(MenuBarViewTest, EachShowingRefreshesOnceAndAPressMounts) {
    const QStringList volumes{QStringLiteral("Rushes")};
    UiSystem system(UiSystem::configuration(volumes), UiSystem::disks(volumes));
    const MenuBarViewModel& model = *system.container->menuViewModel();
    MenuBarView panel(system.container.get(), {});
    // The volume is mounted behind Tarnwell's back; only a refresh notices.
    system.tool.setState(UiSystem::disks(volumes, volumes));
    panel.show();
    ASSERT_TRUE(runUntil([&] { return model.canUnmountReady(); }));
    system.tool.setState(UiSystem::disks(volumes));
    panel.show();
    QTest::qWait(300);
    EXPECT_TRUE(model.canUnmountReady());
    panel.hide();
    panel.show();
    ASSERT_TRUE(runUntil([&] { return !model.canUnmountReady(); }));
    QTest::mouseClick(panel.mountButton(), Qt::LeftButton);
    EXPECT_TRUE(panel.mountButton()->feedbackShown());
    EXPECT_TRUE(runUntil([&] { return model.canUnmountReady(); }));
    // Copying the log says so in the panel, with the count of what is on the clipboard.
    for (QAbstractButton* button : panel.findChildren<QAbstractButton*>()) {
        if (button->text() == localized("Copy Logs")) {
            button->click();
        }
    }
    const qsizetype lines = QGuiApplication::clipboard()->text().split(u'\n').size();
    EXPECT_EQ(panel.notice()->text(), QStringLiteral("Copied %1 log lines").arg(lines));
}

// Every symbol a widget names, and every one a view model can produce, has an icon; a status symbol
// keeps its mark (a check, a question or exclamation mark) readable in each status colour.
TEST(SymbolIconsTest, EverySymbolNamedOrProducedResolvesAndStatusMarksStayReadable) {
    QTemporaryDir icons;
    ASSERT_TRUE(
        QFile::link(QStringLiteral("/usr/share/icons/breeze"), icons.filePath(QStringLiteral("breeze"))));
    QIcon::setThemeName({});
    SymbolIcons::installFallbackTheme(false);
    QIcon::setThemeSearchPaths({icons.path()});
    QStringList known;
    for (const SymbolName& name : SymbolIcons::symbols()) {
        known.append(name.name);
        EXPECT_FALSE(SymbolIcons::icon(name).isNull()) << name.name.toStdString();
    }
    const QRegularExpression symbol(QStringLiteral(R"re("([^"]+)"_symbol)re"));
    for (QDirIterator files(QStringLiteral(TARNWELL_SOURCE_DIR "/src/ui"), {"*.cpp", "*.h"});
         files.hasNext();) {
        QFile file(files.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (const auto& match : symbol.globalMatch(QString::fromUtf8(file.readAll()))) {
            EXPECT_TRUE(known.contains(match.captured(1))) << match.captured(1).toStdString();
        }
    }
    using Status = StorageTargetRuntimeStatus;
    QStringList produced;
    for (const Status& status :
         {Status::notConfigured(), Status::mounted(), Status::notMounted(), Status::mounting(),
          Status::unmounting(), Status::readyToUnmount(), Status::targetNotFound(), Status::mountFailed("x"),
          Status::unmountFailed("x")}) {
        produced << MenuBarViewModel::icon(status);
    }
    for (const TarnwellStatus& status :
         {TarnwellStatus::notConfigured(), TarnwellStatus::driveNotFound(), TarnwellStatus::mountFailed("x"),
          TarnwellStatus::unmountFailed("x")}) {
        produced << MenuBarViewModel::icon(status);
    }
    TarnwellConfiguration configuration = UiSystem::configuration({"On", "Off"});
    configuration.storageRules[1].isEnabled = false;
    for (const MenuBarViewModel::TargetRow& row : MenuBarViewModel(configuration, {}).targetRows()) {
        produced << row.statusIcon;
    }
    DashboardViewModel dashboard(UiSystem::configuration({}), {}, {}, {});
    for (const DashboardViewModel::OnboardingStep& step : dashboard.onboardingSteps()) {
        produced << step.systemImage;
    }
    produced << dashboard.safetyIcon();
    dashboard.update(configuration, QList<StorageTargetState>{{configuration.storageRules[0],
                                                               Status::targetNotFound(), std::nullopt}});
    produced << dashboard.safetyIcon();
    for (const QString& name : produced) {
        EXPECT_TRUE(known.contains(name)) << name.toStdString();
    }
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <
               60;
    };
    for (const QPalette& palette : {QPalette(QColor(Qt::white)), QPalette(QColor(0x2A, 0x2C, 0x31))}) {
        for (const auto kind :
             {MenuBarViewModel::StatusColorKind::Green, MenuBarViewModel::StatusColorKind::Orange,
              MenuBarViewModel::StatusColorKind::Red, MenuBarViewModel::StatusColorKind::Accent}) {
            const QColor colour = TarnwellTheme::statusColor(kind, palette);
            for (const QString& name : produced) {
                if (!SymbolIcons::isStatusSymbol({name})) {
                    continue;
                }
                const QImage image = SymbolIcons::tinted({name}, 16, colour, 2).toImage();
                int opaque = 0, shape = 0, mark = 0;
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) {
                        const QColor pixel = image.pixelColor(x, y);
                        opaque += pixel.alpha() > 220;
                        shape += pixel.alpha() > 220 && near(pixel, colour);
                        mark += pixel.alpha() > 220 && near(pixel, SymbolIcons::markColor(colour));
                    }
                }
                SCOPED_TRACE(name.toStdString() + " " + colour.name().toStdString());
                if (name == u"pause.circle") { // an outline: the inside between the bars stays clear
                    EXPECT_EQ(image.pixelColor(16, 16).alpha(), 0);
                    EXPECT_GT(shape, opaque * 9 / 10);
                } else {
                    EXPECT_GT(mark, opaque / 20);
                    EXPECT_GT(shape, opaque / 3);
                }
            }
        }
    }
}

// Without a tray the window opens even in the background; opening it again shows it at once and then
// reloads the stored rules.
TEST(TarnwellAppTest, WithoutATrayTheWindowOpensAndOpeningAgainReloadsTheRules) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    UiSystem system;
    TarnwellApp app(system.container.get());
    app.start(true);
    MainWindowView* window = app.mainWindow();
    ASSERT_TRUE(window && window->isVisible());
    window->close();
    system.preferences->values.insert(
        RuleService::configurationKey,
        JsonCoding::encodeDocument(UiSystem::configuration({QStringLiteral("Rushes")})));
    // The window shows at once, with what the container holds; the reload fills it in after.
    app.openMainWindow();
    ASSERT_TRUE(window->isVisible());
    EXPECT_TRUE(system.container->configuration().storageRules.isEmpty());
    EXPECT_EQ(app.mainWindow(), window);
    EXPECT_TRUE(runUntil([&] { return system.container->configuration().storageRules.size() == 1; }));
}

TEST(TarnwellTrayTest, ThePanelOpensAtTheClickFlippedAndKeptOnScreen) {
    for (const auto& [anchor, expected] : QList<std::pair<QPoint, QPoint>>{
             {{100, 30}, {100, 30}},      // top-left tray: below and right of the click
             {{1900, 20}, {1582, 20}},    // top-right tray: flipped to the left
             {{1900, 1070}, {1582, 670}}, // bottom-right tray: flipped left and above
             {{-50, 500}, {0, 500}},      // a click off the screen's edge: pulled back inside
         }) {
        EXPECT_EQ(TarnwellTray::panelPosition({318, 400}, anchor, {0, 0, 1920, 1080}), expected)
            << anchor.x() << "," << anchor.y();
    }
}

// A failed listing shows no "Updated just now"; later a clicked row shows "Unknown" for what is missing.
TEST(VolumesViewTest, AFailedRefreshShowsTheErrorThenARowShowsItsIdentity) {
    UiSystem system({}, UiSystem::disks({QStringLiteral("Rushes")}));
    // A folder at the state's place keeps the mount table unreadable; the tool runs while the page waits.
    const QString state = qEnvironmentVariable(FakeDiskTool::stateVariable);
    ASSERT_TRUE(QFile::remove(state) && QDir().mkdir(state));
    VolumesView page(system.container.get());
    present(&page);
    EXPECT_TRUE(page.isRefreshing());
    ASSERT_TRUE(runUntil([&] { return !page.isRefreshing(); }));
    const QString error = system.container->volumesViewModel()->errorMessage().value_or(QString());
    EXPECT_TRUE(!error.isEmpty() && shows(&page, error));
    EXPECT_FALSE(shows(&page, localized("Updated just now")));
    QDir(state).removeRecursively();
    const auto refresh = [&](const QJsonObject& disks, qsizetype rows) {
        system.tool.setState(disks);
        QTest::mouseClick(page.findChild<PrimaryActionButton*>(), Qt::LeftButton);
        return runUntil([&] { return page.didRefresh() && page.findChildren<VolumeRow*>().size() == rows; });
    };
    const auto details = [&] {
        return page.findChild<WorkspaceSplitView*>()->detail()->findChildren<VolumeDetailRow*>();
    };
    ASSERT_TRUE(refresh(
        QJsonDocument::fromJson(QJsonDocument(UiSystem::disks({"Rushes", "Proxies"}, {"Rushes", "Proxies"}))
                                    .toJson(QJsonDocument::Compact)
                                    .replace(R"-("ExFAT","mountPath":"/Volumes/Proxies")-",
                                             R"-("","mountPath":"/Volumes/Proxies")-"))
            .object(),
        2));
    EXPECT_TRUE(shows(&page, localized("Updated just now")));
    QTest::mouseClick(page.findChildren<VolumeRow*>()[1], Qt::LeftButton);
    EXPECT_TRUE(page.findChildren<VolumeRow*>()[1]->isSelected());
    EXPECT_EQ(details()[0]->value(), UiSystem::volumeUUID(QStringLiteral("Proxies")));
    EXPECT_EQ(details()[1]->value(), localized("Unknown"));
    // A new listing reaches the row and the details kept for it, and drops the rows no longer needed.
    ASSERT_TRUE(refresh(UiSystem::disks({QStringLiteral("Proxies")}, {QStringLiteral("Proxies")}), 1));
    const VolumeRow* kept = page.findChild<VolumeRow*>();
    EXPECT_TRUE(kept->isSelected() && kept->location() == "/Volumes/Proxies" &&
                details()[1]->value() == "ExFAT");
}
