#include "LinuxTestSupport.h"
#include "core/support/PlatformError.h"
#include "platform/LoginItemService.h"
#include "platform/linux/AutostartLoginItem.h"
#include "platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace tarnwell {
namespace {

using testing::writeFile;

class AutostartLoginItemTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        autostart = root + QStringLiteral("/config/autostart");
        program = bin + QStringLiteral("/tarnwell");
        addProgram(QStringLiteral("tarnwell"), false);
        savedMask = ::umask(022);
    }
    void TearDown() override { ::umask(savedMask); }

    QString entry() const { return autostart + QStringLiteral("/tarnwell.desktop"); }
    QHash<QString, QString> entryKeys() const {
        QFile file(entry());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return DesktopEntry::group(file.readAll(), QStringLiteral("Desktop Entry"));
    }

    QString autostart;
    QString program;
    mode_t savedMask = 0;
};

TEST_F(AutostartLoginItemTests, EntryAppearsWholeAndDisappearsWithTheSettingAndRefusalsAreReported) {
    LoginItemService service(std::make_shared<AutostartLoginItem>(program, autostart, bin));
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
    service.setLaunchAtLogin(true);
    EXPECT_TRUE(service.isLaunchAtLoginEnabled());
    EXPECT_EQ(entryKeys(), (QHash<QString, QString>{{"Type", "Application"},
                                                    {"Name", "Tarnwell"},
                                                    {"Exec", '"' + program + "\" --background"},
                                                    {"Icon", "tarnwell"},
                                                    {"X-GNOME-Autostart-enabled", "true"}}));
    // Written whole through a temporary file: nothing else is left in the folder.
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden), QList<QString>{"tarnwell.desktop"});
    service.setLaunchAtLogin(false);
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
    EXPECT_FALSE(QFileInfo::exists(entry()));

    // Refusals reach the one who changed the setting, with the reason, and leave no entry.
    AutostartLoginItem unknownProgram(QString(), autostart);
    EXPECT_EQ(unknownProgram.status(), LoginItemStatus::notFound);
    EXPECT_THROW(unknownProgram.registerItem(), PlatformError);
    ASSERT_TRUE(QDir(autostart).removeRecursively());
    writeFile(autostart, "a file where the folder belongs");
    try {
        service.setLaunchAtLogin(true);
        ADD_FAILURE() << "the refusal was swallowed";
    } catch (const PlatformError& error) {
        EXPECT_FALSE(error.message().isEmpty());
    }
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
}

TEST_F(AutostartLoginItemTests,
       EntryTheSessionWouldNotStartIsNotRegisteredAndEnablingRewritesItForAnyProgramPath) {
    const QByteArray head = "[Desktop Entry]\nType=Application\n";
    const QByteArray exec = "Exec=\"" + program.toUtf8() + "\" --hidden\n";
    QFile::link(program, bin + QStringLiteral("/tarnwell-link"));
    const QList<std::tuple<const char*, QByteArray, LoginItemStatus, mode_t>> cases{
        {"ours", head + exec, LoginItemStatus::enabled, 022},
        {"ours by name in PATH", head + "Exec=tarnwell\n", LoginItemStatus::enabled, 022},
        {"ours through a link", head + "Exec=" + bin.toUtf8() + "/tarnwell-link\n", LoginItemStatus::enabled,
         022},
        {"hidden", head + exec + "Hidden=true\n", LoginItemStatus::notRegistered, 022},
        {"disabled", head + exec + "X-GNOME-Autostart-enabled=false\n", LoginItemStatus::notRegistered, 0},
        {"another program", head + "Exec=/opt/old/tarnwell\n", LoginItemStatus::notRegistered, 077},
        {"no Exec", head, LoginItemStatus::notRegistered, 027},
        {"broken quoting", head + "Exec=\"" + program.toUtf8() + '\n', LoginItemStatus::notRegistered, 022},
    };
    AutostartLoginItem item(program, autostart, bin);
    for (const auto& [what, content, status, mask] : cases) {
        writeFile(entry(), content);
        ASSERT_EQ(::chmod(QFile::encodeName(entry()).constData(), 0666), 0);
        EXPECT_EQ(item.status(), status) << what;
        ::umask(mask);
        LoginItemService(std::make_shared<AutostartLoginItem>(program, autostart, bin))
            .setLaunchAtLogin(true);
        EXPECT_EQ(item.status(), LoginItemStatus::enabled) << what;
        // Rewritten with the user's umask, and never writable by others.
        const mode_t expected = status == LoginItemStatus::enabled ? 0666 : (0666 & ~mask & ~S_IWOTH);
        struct stat written {};
        ASSERT_EQ(::stat(QFile::encodeName(entry()).constData(), &written), 0);
        EXPECT_EQ(written.st_mode & 07777, expected) << what;
    }
    // Exec survives awkward program paths.
    for (const QString path :
         {"/opt/My Apps/tarnwell", "/opt/$HOME/`x`/\"q\"/t", "/opt/back\\slash/100%/t", "/opt/new\nline/t"}) {
        AutostartLoginItem(path, autostart).registerItem();
        EXPECT_EQ(DesktopEntry::splitExec(entryKeys().value("Exec")), (QList<QString>{path, "--background"}))
            << path.toStdString();
        EXPECT_EQ(AutostartLoginItem(path, autostart).status(), LoginItemStatus::enabled)
            << path.toStdString();
    }
}

} // namespace
} // namespace tarnwell
