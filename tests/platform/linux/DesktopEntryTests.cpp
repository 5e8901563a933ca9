#include "LinuxTestSupport.h"
#include "core/model/AppPresetService.h"
#include "platform/linux/ChosenApplicationReader.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/DesktopEntryPresetDiscovery.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwell {
namespace {

using testing::writeFile;

QByteArray entryText(const QByteArray& name, const QByteArray& extra = {}) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=editor\n" + extra;
}

TEST(DesktopEntryTests, ExecSplitsByQuotingRulesAndKeysDecodeTheirEscapes) {
    const QList<std::pair<QString, std::optional<QList<QString>>>> cases{
        {"kdenlive %U", QList<QString>{"kdenlive"}},
        {"\"/opt/My Editor/run\" --open %f", QList<QString>{"/opt/My Editor/run", "--open"}},
        {"app \"a \\\"quoted\\\" \\$word\" \"\"", QList<QString>{"app", "a \"quoted\" $word", ""}},
        {"app --rate=100%% %i %c %k", QList<QString>{"app", "--rate=100%"}},
        {"  app\t--flag  ", QList<QString>{"app", "--flag"}},
        {"app \"unterminated", std::nullopt},
    };
    for (const auto& [exec, arguments] : cases) {
        EXPECT_EQ(DesktopEntry::splitExec(exec), arguments) << exec.toStdString();
    }
    const auto keys =
        DesktopEntry::group("# c\n[Other]\nName=Wrong\n[Desktop Entry]\nName[de]=B\nName = Editor\\sPro\n"
                            "Name=Second\nComment=a\\nb\\\\c\n[Desktop Action New]\nExec=other\n",
                            QStringLiteral("Desktop Entry"));
    EXPECT_EQ(keys, (QHash<QString, QString>{{"Name", "Editor Pro"}, {"Comment", "a\nb\\c"}}));
}

class DesktopEntryIndexTests : public testing::PreparedSystem {
protected:
    void SetUp() override {
        PreparedSystem::SetUp();
        home = root + QStringLiteral("/home/applications");
        addProgram(QStringLiteral("editor"), false);
    }

    void write(const QList<std::pair<QString, QByteArray>>& files) {
        for (const auto& [path, content] : files) {
            writeFile(path, content);
        }
    }

    QString home;
};

TEST_F(DesktopEntryIndexTests, FirstFolderWinsAndHiddenOrMissingTryExecRemovesTheId) {
    write({{home + "/org.example.Editor.desktop", entryText("Editor (mine)")},
           {applications + "/org.example.Editor.desktop", entryText("Editor")},
           {home + "/org.example.Gone.desktop", "[Desktop Entry]\nHidden=true\n"},
           {applications + "/org.example.Gone.desktop", entryText("Gone")},
           {applications + "/org.example.Uninstalled.desktop", entryText("U", "TryExec=missing\n")},
           {applications + "/org.example.Present.desktop", entryText("Present", "TryExec=editor\n")},
           {applications + "/kde4/cutter.desktop", entryText("Cutter")},
           {applications + "/broken.desktop", "not a desktop entry"}});
    const DesktopEntryIndex index = DesktopEntryIndex::load({home, root + "/none", applications}, bin);
    QList<QString> names;
    for (const DesktopEntry& entry : index.entries()) {
        names.append(entry.id + u'=' + entry.name);
    }
    EXPECT_EQ(names, (QList<QString>{"org.example.Editor=Editor (mine)", "kde4-cutter=Cutter",
                                     "org.example.Present=Present"}));
    const QString searchPath = root + QStringLiteral("/empty:") + bin;
    EXPECT_EQ(DesktopEntryIndex::findProgram("editor", searchPath), bin + "/editor");
    EXPECT_EQ(DesktopEntryIndex::findProgram(bin + "/editor", {}), bin + "/editor");
    EXPECT_EQ(DesktopEntryIndex::findProgram("bin/editor", searchPath), std::nullopt);
    EXPECT_EQ(DesktopEntryIndex::findProgram("stat", bin), std::nullopt) << "not executable";
}

TEST_F(DesktopEntryIndexTests, PresetDiscoveryMatchesNamesAndSeesEachInstallationOnALaterPass) {
    write({{applications + "/com.example.Premiere2025.desktop", entryText("Adobe Premiere Pro 2025")},
           {applications + "/com.example.Premiere2024.desktop", entryText("Adobe Premiere Pro 2024")},
           {applications + "/com.example.lower.desktop", entryText("adobe premiere pro 2023")},
           {home + "/com.example.Premiere2024.desktop", entryText("Adobe Premiere Pro 2024")},
           {applications + "/jianying.desktop", entryText("剪映专业版")},
           {applications + "/resolve.desktop", entryText("DaVinci Resolve", "Hidden=true\n")},
           {home + "/kde4/other.desktop", entryText("Other")},
           {applications + "/org.kde.kdenlive.desktop", entryText("Video Editor")},
           {applications + "/shotcut_shotcut.desktop", entryText("Video")},
           {applications + "/cinelerra-gg.desktop", entryText("Cinelerra-GG")}});
    // Folders changed long ago, so that only a later change tells a pass to read them again.
    for (const QString& changed : {home, home + "/kde4", applications}) {
        const timespec past[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(changed).constData(), past, 0), 0);
    }
    const AppPresetService presets({std::make_shared<DesktopEntryPresetDiscovery>(
        std::make_shared<DesktopEntryCatalog>(QList<QString>{home, applications}, bin))});
    // The identifiers each preset gained, in preset order, by name, by snap or by wildcard.
    const auto discovered = [&] {
        QList<QString> identifiers;
        const QList<AppTrigger> triggers = presets.presetsWithDiscoveredBundleIdentifiers();
        for (qsizetype index = 0; index < triggers.size(); ++index) {
            const auto known = AppPresetService::presetCandidates().at(index).bundleIdentifiers;
            if (triggers[index].bundleIdentifiers.size() > known.size()) {
                identifiers.append(triggers[index].displayName + u'=' +
                                   triggers[index].bundleIdentifiers.mid(known.size()).join(u','));
            }
        }
        return identifiers;
    };
    const QString premiere = "Adobe Premiere Pro=com.example.Premiere2024,com.example.Premiere2025";
    const QList<QString> linux{"Shotcut=shotcut_shotcut", "Cinelerra=cinelerra-gg"};
    EXPECT_EQ(discovered(), (QList<QString>{premiere, "Jianying=jianying"} + linux));
    // An entry under a preset's own identifier makes it installed too; the others are not.
    const QSet<QString> installed = presets.installedPresetIdentifiers();
    EXPECT_TRUE(installed.contains("org.kde.kdenlive") && installed.contains("shotcut_shotcut"));
    for (const AppTrigger& preset : presets.presetsWithDiscoveredBundleIdentifiers()) {
        const bool expected =
            QList<QString>{"Adobe Premiere Pro", "Jianying", "Kdenlive", "Shotcut", "Cinelerra"}.contains(
                preset.displayName);
        EXPECT_EQ(AppPresetService::isInstalled(preset, installed), expected)
            << preset.displayName.toStdString();
    }

    // Installed in a sub-folder, then removed: the folders are read again off the event loop, so a
    // later pass, not necessarily the next, sees each change.
    const auto eventually = [&](const QList<QString>& expected) {
        testing::runUntil([&] { return discovered() == expected; });
        EXPECT_EQ(discovered(), expected);
    };
    writeFile(home + "/kde4/resolve.desktop", entryText("DaVinci Resolve"));
    eventually(QList<QString>{"DaVinci Resolve=kde4-resolve", premiere, "Jianying=jianying"} + linux);
    ASSERT_TRUE(QFile::remove(applications + "/com.example.Premiere2025.desktop"));
    eventually(QList<QString>{"DaVinci Resolve=kde4-resolve", "Adobe Premiere Pro=com.example.Premiere2024",
                              "Jianying=jianying"} +
               linux);
}

TEST_F(DesktopEntryIndexTests, ChosenEntryOrBundleGivesItsIdAndPreferredName) {
    const auto plist = [](const QByteArray& extra) {
        return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
               "<string>com.example.Cut</string>" +
               extra + "</dict></plist>\n";
    };
    write(
        {{applications + "/kde4/cutter.desktop", entryText("Cutter")},
         {root + "/Downloads/org.example.Nameless.desktop", "[Desktop Entry]\nExec=x\n"},
         {root + "/Downloads/notes.desktop", "just text"},
         {root + "/Both.app/Contents/Info.plist",
          plist("<key>CFBundleDisplayName</key><string>Shown</string><key>CFBundleName</key><string>Cut</"
                "string>")},
         {root + "/Shown.app/Contents/Info.plist",
          plist(
              "<key>CFBundleName</key><integer>3</integer><key>CFBundleDisplayName</key><string>D</string>")},
         {root + "/Bare Cutter.app/Contents/Info.plist", plist({})}});
    QDir().mkpath(root + "/Empty.app");
    write({{root + "/Apps/Cutter-2.1.AppImage", "image"}, {root + "/Downloads/notes.txt", "text"}});
    ASSERT_TRUE(
        QFile::setPermissions(root + "/Apps/Cutter-2.1.AppImage", QFile::ReadOwner | QFile::ExeOwner));
    const QString cut = QStringLiteral("com.example.Cut");
    const QList<std::pair<QString, std::optional<ChosenApplication>>> cases{
        {applications + "/kde4/cutter.desktop", ChosenApplication{"kde4-cutter", "Cutter"}},
        {root + "/Downloads/org.example.Nameless.desktop",
         ChosenApplication{"org.example.Nameless", "org.example.Nameless"}},
        {root + "/Downloads/notes.desktop", std::nullopt},
        {root + "/Downloads/missing.desktop", std::nullopt},
        {root + "/Both.app", ChosenApplication{cut, "Cut"}},
        {root + "/Shown.app", ChosenApplication{cut, "D"}},
        {root + "/Bare Cutter.app/", ChosenApplication{cut, "Bare Cutter"}},
        {root + "/Empty.app", std::nullopt},
        // A program or portable image without an entry is known by its path.
        {root + "/Apps/Cutter-2.1.AppImage",
         ChosenApplication{root + "/Apps/Cutter-2.1.AppImage", "Cutter-2.1"}},
        {root + "/Downloads/notes.txt", std::nullopt},
    };
    for (const auto& [path, chosen] : cases) {
        EXPECT_EQ(ChosenApplicationReader::read(path), chosen) << path.toStdString();
    }
}

} // namespace
} // namespace tarnwell
