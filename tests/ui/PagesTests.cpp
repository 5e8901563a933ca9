#include "UiSystem.h"
#include "core/support/Localization.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"
#include "ui/AppManagementIcon.h"
#include "ui/AppManagementRow.h"
#include "ui/AppsView.h"
#include "ui/GeneralSettingsView.h"
#include "ui/PrimaryActionButton.h"
#include "ui/ToggleSwitch.h"
#include "ui/VolumeDetailRow.h"
#include "ui/VolumeRow.h"
#include "ui/VolumesView.h"
#include "ui/WorkspaceSplitView.h"

#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace tarnwell::testing;

namespace {

bool shows(QWidget* page, const QString& text) {
    const QList<QLabel*> labels = page->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](QLabel* l) { return l->isVisible() && l->text() == text; });
}

template <typename T> T* named(QWidget* page, const QString& name) {
    for (T* child : page->findChildren<T*>()) {
        if (child->accessibleName() == name && child->isVisible()) {
            return child;
        }
    }
    return nullptr;
}

void present(QWidget* page) {
    page->resize(960, 700);
    page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page));
}

AppTrigger custom(const QString& name, QList<QString> identifiers, std::optional<QString> appPath = {}) {
    return AppTrigger{QUuid::createUuid(), name, std::move(identifiers), true, false, std::move(appPath)};
}

} // namespace

TEST(VolumesViewTest, AFailedRefreshShowsTheErrorAndNoUpdatedLabel) {
    UiSystem system({}, UiSystem::disks({QStringLiteral("Rushes")}));
    const QJsonObject state = system.tool.state();
    // Without the state the fake's mount table cannot be read, as when the system's cannot.
    QFile::remove(qEnvironmentVariable(FakeDiskTool::stateVariable));
    VolumesView page(system.container.get());
    present(&page);
    ASSERT_TRUE(runUntil([&] { return !page.isRefreshing(); }));
    const std::optional<QString> error = system.container->volumesViewModel()->errorMessage();
    ASSERT_TRUE(error);
    EXPECT_TRUE(shows(&page, *error));
    EXPECT_FALSE(shows(&page, localized("Updated just now")));

    system.tool.setState(state);
    QTest::mouseClick(page.findChild<PrimaryActionButton*>(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return page.didRefresh(); }));
    EXPECT_TRUE(shows(&page, localized("Updated just now")));
    EXPECT_FALSE(shows(&page, *error));
}

TEST(VolumesViewTest, ClickingARowShowsItsIdentityWithUnknownForWhatIsMissing) {
    QJsonObject state = UiSystem::disks({QStringLiteral("Rushes"), QStringLiteral("Proxies")});
    QJsonObject disk = state["disks"].toArray()[0].toObject();
    QJsonArray partitions = disk["partitions"].toArray();
    for (qsizetype index = 0; index < partitions.size(); ++index) {
        QJsonObject partition = partitions[index].toObject();
        partition["mountPoint"] = partition["mountPath"];
        partition["filesystemName"] = index == 1 ? "" : "ExFAT";
        partitions[index] = partition;
    }
    disk["partitions"] = partitions;
    state["disks"] = QJsonArray{disk};
    UiSystem system({}, state);
    VolumesView page(system.container.get());
    present(&page);
    // The disk tool is still running and the page is already back in the event loop.
    EXPECT_TRUE(page.isRefreshing());
    EXPECT_FALSE(page.findChild<PrimaryActionButton*>()->isEnabled());
    ASSERT_TRUE(runUntil([&] { return page.didRefresh(); }));
    const QList<VolumeRow*> rows = page.findChildren<VolumeRow*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0]->isSelected());

    QTest::mouseClick(rows[1], Qt::LeftButton);
    EXPECT_TRUE(rows[1]->isSelected());
    EXPECT_FALSE(rows[0]->isSelected());
    const auto details = page.findChild<WorkspaceSplitView*>()->detail()->findChildren<VolumeDetailRow*>();
    ASSERT_GE(details.size(), 2);
    EXPECT_EQ(details[0]->value(), UiSystem::volumeUUID(QStringLiteral("Proxies")));
    EXPECT_EQ(details[1]->value(), localized("Unknown"));
}

TEST(PagesTest, ARefusedSwitchSnapsBackAndThePageShowsTheError) {
    struct Case {
        std::function<QWidget*(TarnwellContainer*)> page;
        QString control;
        std::function<std::optional<QString>(TarnwellContainer*)> error;
    };
    auto settingsError = [](TarnwellContainer* c) { return c->settingsViewModel()->errorMessage(); };
    const QList<Case> cases{
        {[](TarnwellContainer* c) { return new AppsView(c); }, localized("Enabled"), settingsError},
        {[](TarnwellContainer* c) { return new GeneralSettingsView(c); }, localized("Notifications"),
         settingsError},
        {[](TarnwellContainer* c) { return new VolumesView(c); }, localized("Show All Volumes"),
         [](TarnwellContainer* c) { return c->volumesViewModel()->errorMessage(); }},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.control.toStdString());
        UiSystem system(UiSystem::configuration({}), UiSystem::disks({QStringLiteral("Rushes")}));
        std::unique_ptr<QWidget> page(example.page(system.container.get()));
        present(page.get());
        auto* control = named<ToggleSwitch>(page.get(), example.control);
        ASSERT_NE(control, nullptr);
        const bool stored = control->isChecked();
        system.preferences->failWrites = true;
        QTest::mouseClick(control, Qt::LeftButton);
        ASSERT_TRUE(runUntil([&] { return example.error(system.container.get()).has_value(); }));
        EXPECT_EQ(control->isChecked(), stored);
        EXPECT_TRUE(shows(page.get(), *example.error(system.container.get())));
    }
}

TEST(AppsViewTest, OnlyBuiltInsCarryThePresetCapsuleAndACustomAppIsDeleted) {
    TarnwellConfiguration configuration = UiSystem::configuration({});
    configuration.appTriggers.append(
        custom(QStringLiteral("Cutter"), {QStringLiteral("org.example.Cutter")}));
    UiSystem system(configuration);
    AppsView page(system.container.get());
    present(&page);
    const qsizetype stored = system.container->settingsViewModel()->rule().appTriggers.size();
    const QList<AppManagementRow*> rows = page.findChildren<AppManagementRow*>();
    ASSERT_EQ(rows.size(), stored);
    AppManagementRow* added = nullptr;
    for (AppManagementRow* row : rows) {
        EXPECT_EQ(shows(row, localized("Preset")), row->trigger().isBuiltInPreset);
        added = row->trigger().isBuiltInPreset ? added : row;
    }
    ASSERT_NE(added, nullptr);
    QTest::mouseClick(named<QToolButton>(added, localized("Delete App")), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return page.findChildren<AppManagementRow*>().size() == stored - 1; }));
    EXPECT_EQ(system.container->configuration().appTriggers.size(), stored - 1);
}

TEST(AppsViewTest, TheFirstMatchingIconWinsFromTheChosenFileToTheGenericIcon) {
    QTemporaryDir folder;
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(folder.filePath("cutter.png")) && QDir(folder.path()).mkpath("applications"));
    const QString entry = folder.filePath("applications/org.example.Cutter.desktop");
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nName=Cutter\nExec=true\nIcon=" + folder.filePath("cutter.png").toUtf8() +
               "\n");
    file.close();
    auto index = std::make_shared<const DesktopEntryIndex>(
        DesktopEntryIndex::load({folder.filePath("applications")}, qEnvironmentVariable("PATH")));
    using Source = AppManagementIcon::Source;
    const QList<std::tuple<AppTrigger, Source, QString>> cases{
        {custom("Mine", {"com.lemon.lvpro"}, entry), Source::AppPath, {}},
        {custom("Mine", {"org.example.Missing", "org.example.Cutter"}), Source::DesktopEntry, {}},
        {custom("CapCut", {"org.example.Missing"}), Source::Preset, "PresetIconCapCut"},
        {custom("CapCut", {"org.example.Missing", "com.adobe.PremierePro.25"}), Source::Preset,
         "PresetIconPremierePro"},
        {custom("Mine", {"org.example.Missing"}, folder.filePath("gone.desktop")), Source::Generic, {}},
    };
    for (const auto& [trigger, source, asset] : cases) {
        SCOPED_TRACE(trigger.bundleIdentifiers.join(",").toStdString());
        AppManagementIcon icon(trigger, index);
        EXPECT_EQ(icon.source(), source);
        EXPECT_EQ(icon.presetAsset(), asset);
        if (source == Source::AppPath || source == Source::DesktopEntry) {
            EXPECT_EQ(icon.grab().toImage().pixelColor(22, 22), QColor(Qt::red));
        }
    }
}

TEST(GeneralSettingsViewTest, LaunchAtLoginShowsWhatTheSystemDid) {
    UiSystem system(UiSystem::configuration({}));
    GeneralSettingsView page(system.container.get());
    present(&page);
    auto* launchAtLogin = named<ToggleSwitch>(&page, localized("Launch at Login"));
    // A file where the autostart folder belongs: the session cannot take the login item.
    const QString autostart = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
    QDir(autostart).removeRecursively();
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QFile blocker(autostart);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QTest::mouseClick(launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return !launchAtLogin->isChecked(); }));
    EXPECT_FALSE(system.container->configuration().launchAtLogin);

    ASSERT_TRUE(QFile::remove(autostart));
    QTest::mouseClick(launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return system.container->configuration().launchAtLogin; }));
    EXPECT_TRUE(launchAtLogin->isChecked());
    EXPECT_TRUE(QDir(autostart).removeRecursively());
}
