#include "LinuxTestSupport.h"
#include "core/support/PlatformError.h"
#include "platform/LoginItemService.h"
#include "platform/linux/AutostartLoginItem.h"
#include "platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::writeFile;

class AutostartLoginItemTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        autostart = folder.filePath(QStringLiteral("config/autostart"));
    }

    QHash<QString, QString> entryKeys() const {
        QFile file(autostart + QStringLiteral("/tarnwell.desktop"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return DesktopEntry::group(file.readAll(), QStringLiteral("Desktop Entry"));
    }

    QTemporaryDir folder;
    QString autostart;
};

TEST_F(AutostartLoginItemTests, EntryAppearsAndDisappearsWithTheSetting) {
    auto item = std::make_shared<AutostartLoginItem>(QStringLiteral("/opt/tarnwell/bin/tarnwell"), autostart);
    LoginItemService service(item);
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());

    service.setLaunchAtLogin(true);
    EXPECT_TRUE(service.isLaunchAtLoginEnabled());
    const auto keys = entryKeys();
    EXPECT_EQ(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    EXPECT_EQ(keys.value(QStringLiteral("Name")), QStringLiteral("Tarnwell"));
    EXPECT_EQ(keys.value(QStringLiteral("Exec")),
              QStringLiteral("\"/opt/tarnwell/bin/tarnwell\" --background"));
    EXPECT_EQ(keys.value(QStringLiteral("Icon")), QStringLiteral("tarnwell"));
    EXPECT_EQ(keys.value(QStringLiteral("X-GNOME-Autostart-enabled")), QStringLiteral("true"));
    // Written whole through a temporary file: nothing else is left in the folder.
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden),
              QList<QString>{QStringLiteral("tarnwell.desktop")});

    service.setLaunchAtLogin(false);
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
    EXPECT_FALSE(QFileInfo::exists(item->entryPath()));
}

TEST_F(AutostartLoginItemTests, HiddenEntryIsNotRegisteredAndEnablingReplacesIt) {
    AutostartLoginItem item(QStringLiteral("/usr/bin/tarnwell"), autostart);
    writeFile(item.entryPath(), "[Desktop Entry]\nType=Application\nExec=old\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    item.registerItem();
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_FALSE(entryKeys().contains(QStringLiteral("Hidden")));
}

TEST_F(AutostartLoginItemTests, RefusedRegistrationFailsAndLeavesNoEntry) {
    AutostartLoginItem unknownProgram(QString(), autostart);
    EXPECT_EQ(unknownProgram.status(), LoginItemStatus::notFound);
    EXPECT_THROW(unknownProgram.registerItem(), PlatformError);
    EXPECT_FALSE(QFileInfo::exists(unknownProgram.entryPath()));

    // The refusal reaches the one who changed the setting, with the system's reason.
    writeFile(autostart, "a file where the folder belongs");
    LoginItemService service(
        std::make_shared<AutostartLoginItem>(QStringLiteral("/usr/bin/tarnwell"), autostart));
    try {
        service.setLaunchAtLogin(true);
        ADD_FAILURE() << "the refusal was swallowed";
    } catch (const PlatformError& error) {
        EXPECT_FALSE(error.message().isEmpty());
    }
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
}

TEST_F(AutostartLoginItemTests, ExecSurvivesAwkwardProgramPaths) {
    const QList<QString> paths{
        QStringLiteral("/opt/My Apps/tarnwell"), QStringLiteral("/opt/$HOME/`x`/\"q\"/t"),
        QStringLiteral("/opt/back\\slash/100%/tarnwell"), QStringLiteral("/opt/new\nline/t")};
    for (const QString& path : paths) {
        AutostartLoginItem item(path, autostart);
        item.registerItem();
        EXPECT_EQ(DesktopEntry::splitExec(entryKeys().value(QStringLiteral("Exec"))),
                  (QList<QString>{path, QStringLiteral("--background")}))
            << path.toStdString();
    }
}

TEST(AutostartLoginItemDefaults, FollowsXdgConfigHomeAndTheRunningProgram) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/tarnwell-config");
    EXPECT_EQ(AutostartLoginItem::defaultAutostartDirectory(),
              QStringLiteral("/tmp/tarnwell-config/autostart"));
    qputenv("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(AutostartLoginItem::defaultAutostartDirectory(),
              QDir::homePath() + QStringLiteral("/.config/autostart"));
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(QFileInfo(AutostartLoginItem::currentExecutablePath()).fileName(),
              QStringLiteral("tarnwell_platform_linux_tests"));
}

} // namespace
} // namespace tarnwell
