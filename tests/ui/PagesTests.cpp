#include "core/support/Localization.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"
#include "support/UiSystem.h"
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

#include <QDir>
#include <QJsonDocument>
#include <QLabel>
#include <QRegularExpression>
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
    const QList<T*> all = page->findChildren<T*>();
    const auto found =
        std::find_if(all.begin(), all.end(), [&](T* c) { return c->accessibleName() == name; });
    return found == all.end() ? nullptr : *found;
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
    // A folder where the state should be: the fake's mount table cannot be read, as when the
    // system's cannot, and no run of the fake tool can write a fresh state there.
    const QString statePath = qEnvironmentVariable(FakeDiskTool::stateVariable);
    QFile::remove(statePath);
    ASSERT_TRUE(QDir().mkdir(statePath));
    VolumesView page(system.container.get());
    present(&page);
    ASSERT_TRUE(runUntil([&] { return !page.isRefreshing(); }));
    const std::optional<QString> error = system.container->volumesViewModel()->errorMessage();
    ASSERT_TRUE(error);
    EXPECT_TRUE(shows(&page, *error));
    EXPECT_FALSE(shows(&page, localized("Updated just now")));

    ASSERT_TRUE(QDir().rmdir(statePath));
    system.tool.setState(UiSystem::disks({QStringLiteral("Rushes")}));
    QTest::mouseClick(page.findChild<PrimaryActionButton*>(), Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return page.didRefresh(); }));
    EXPECT_TRUE(shows(&page, localized("Updated just now")));
}

TEST(VolumesViewTest, ClickingARowShowsItsIdentityWithUnknownForWhatIsMissing) {
    // Both volumes mounted where the tool would mount them; Proxies with no file system name.
    QString state = QString::fromUtf8(
        QJsonDocument(UiSystem::disks({QStringLiteral("Rushes"), QStringLiteral("Proxies")}))
            .toJson(QJsonDocument::Compact));
    state.replace(QRegularExpression(QStringLiteral(R"-("mountPath":"([^"]*)","mountPoint":"")-")),
                  QStringLiteral(R"-("mountPath":"\1","mountPoint":"\1")-"));
    state.replace(QStringLiteral(R"-("ExFAT","mountPath":"/Volumes/Proxies")-"),
                  QStringLiteral(R"-("","mountPath":"/Volumes/Proxies")-"));
    UiSystem system({}, QJsonDocument::fromJson(state.toUtf8()).object());
    VolumesView page(system.container.get());
    present(&page);
    // The disk tool is still running and the page is already back in the event loop.
    EXPECT_TRUE(page.isRefreshing());
    ASSERT_TRUE(runUntil([&] { return page.didRefresh(); }));
    const QList<VolumeRow*> rows = page.findChildren<VolumeRow*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0]->isSelected());

    QTest::mouseClick(rows[1], Qt::LeftButton);
    EXPECT_TRUE(rows[1]->isSelected());
    const auto details = page.findChild<WorkspaceSplitView*>()->detail()->findChildren<VolumeDetailRow*>();
    EXPECT_EQ(details[0]->value(), UiSystem::volumeUUID(QStringLiteral("Proxies")));
    EXPECT_EQ(details[1]->value(), localized("Unknown"));
}

TEST(PagesTest, ARefusedSwitchSnapsBackAndThePageShowsTheError) {
    const QList<std::pair<std::function<QWidget*(TarnwellContainer*)>, QString>> cases{
        {[](TarnwellContainer* c) { return new AppsView(c); }, localized("Enabled")},
        {[](TarnwellContainer* c) { return new GeneralSettingsView(c); }, localized("Notifications")},
        {[](TarnwellContainer* c) { return new VolumesView(c); }, localized("Show All Volumes")},
    };
    for (const auto& [makePage, name] : cases) {
        SCOPED_TRACE(name.toStdString());
        UiSystem system(UiSystem::configuration({}), UiSystem::disks({QStringLiteral("Rushes")}));
        std::unique_ptr<QWidget> page(makePage(system.container.get()));
        present(page.get());
        auto* volumes = qobject_cast<VolumesView*>(page.get());
        ASSERT_TRUE(runUntil([&] { return !volumes || volumes->didRefresh(); }));
        auto* control = named<ToggleSwitch>(page.get(), name);
        ASSERT_NE(control, nullptr);
        const bool stored = control->isChecked();
        system.preferences->failWrites = true;
        QTest::mouseClick(control, Qt::LeftButton);
        ASSERT_TRUE(
            runUntil([&] { return shows(page.get(), QStringLiteral("The store refused the write.")); }));
        EXPECT_EQ(control->isChecked(), stored);
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
    QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
    ASSERT_TRUE(QFile(autostart).open(QIODevice::WriteOnly));
    QTest::mouseClick(launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return !launchAtLogin->isChecked(); }));

    ASSERT_TRUE(QFile::remove(autostart));
    QTest::mouseClick(launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(runUntil([&] { return system.container->configuration().launchAtLogin; }));
    EXPECT_TRUE(launchAtLogin->isChecked());
    QDir(autostart).removeRecursively();
}
