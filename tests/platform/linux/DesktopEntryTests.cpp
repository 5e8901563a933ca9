#include "LinuxTestSupport.h"
#include "core/model/AppPresetService.h"
#include "platform/linux/ChosenApplicationReader.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/DesktopEntryPresetDiscovery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::writeFile;
using testing::writeProgram;

QByteArray entryText(const QString& name, const QString& exec, const QString& extra = {}) {
    return ("[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra).toUtf8();
}

TEST(DesktopEntryTests, ExecSplitsByQuotingRulesAndDropsFieldCodes) {
    const QList<std::pair<QString, QList<QString>>> cases{
        {QStringLiteral("kdenlive %U"), {QStringLiteral("kdenlive")}},
        {QStringLiteral("\"/opt/My Editor/run\" --open %f"),
         {QStringLiteral("/opt/My Editor/run"), QStringLiteral("--open")}},
        {QStringLiteral("app \"a \\\"quoted\\\" \\$word\" \"\""),
         {QStringLiteral("app"), QStringLiteral("a \"quoted\" $word"), QString()}},
        {QStringLiteral("app --rate=100%% %i %c %k"), {QStringLiteral("app"), QStringLiteral("--rate=100%")}},
        {QStringLiteral("  app\t--flag  "), {QStringLiteral("app"), QStringLiteral("--flag")}},
    };
    for (const auto& [exec, arguments] : cases) {
        EXPECT_EQ(DesktopEntry::splitExec(exec), arguments) << exec.toStdString();
    }
    EXPECT_EQ(DesktopEntry::splitExec(QStringLiteral("app \"unterminated")), std::nullopt);
}

TEST(DesktopEntryTests, GroupReadsOnlyItsOwnUnlocalisedKeysWithEscapesDecoded) {
    const QByteArray content = "# comment\n[Other]\nName=Wrong\n[Desktop Entry]\nName[de]=Bearbeiter\n"
                               "Name = Editor\\sPro\nName=Second\nComment=a\\nb\\\\c\n[Desktop Action New]\n"
                               "Exec=other\n";
    const auto keys = DesktopEntry::group(content, QStringLiteral("Desktop Entry"));
    EXPECT_EQ(keys.value(QStringLiteral("Name")), QStringLiteral("Editor Pro"));
    EXPECT_EQ(keys.value(QStringLiteral("Comment")), QStringLiteral("a\nb\\c"));
    EXPECT_FALSE(keys.contains(QStringLiteral("Exec")));
}

class DesktopEntryIndexTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        home = folder.filePath(QStringLiteral("home/applications"));
        system = folder.filePath(QStringLiteral("system/applications"));
        bin = folder.filePath(QStringLiteral("bin"));
        writeProgram(bin + QStringLiteral("/editor"));
    }

    QTemporaryDir folder;
    QString home;
    QString system;
    QString bin;
};

TEST_F(DesktopEntryIndexTests, FirstFolderWinsAndHiddenOrMissingTryExecRemovesTheId) {
    writeFile(home + QStringLiteral("/org.example.Editor.desktop"),
              entryText(QStringLiteral("Editor (mine)"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/org.example.Editor.desktop"),
              entryText(QStringLiteral("Editor"), QStringLiteral("editor")));
    writeFile(home + QStringLiteral("/org.example.Gone.desktop"), "[Desktop Entry]\nHidden=true\n");
    writeFile(system + QStringLiteral("/org.example.Gone.desktop"),
              entryText(QStringLiteral("Gone"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/org.example.Uninstalled.desktop"),
              entryText(QStringLiteral("Uninstalled"), QStringLiteral("editor"),
                        QStringLiteral("TryExec=missing\n")));
    writeFile(system + QStringLiteral("/org.example.Present.desktop"),
              entryText(QStringLiteral("Present"), QStringLiteral("x"), QStringLiteral("TryExec=editor\n")));
    writeFile(system + QStringLiteral("/kde4/cutter.desktop"),
              entryText(QStringLiteral("Cutter"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/broken.desktop"), "not a desktop entry");

    const DesktopEntryIndex index =
        DesktopEntryIndex::load({home, folder.filePath(QStringLiteral("none")), system}, bin);
    QList<QString> ids;
    for (const DesktopEntry& entry : index.entries()) {
        ids.append(entry.id);
    }
    EXPECT_EQ(ids, (QList<QString>{QStringLiteral("org.example.Editor"), QStringLiteral("kde4-cutter"),
                                   QStringLiteral("org.example.Present")}));
    ASSERT_NE(index.entry(QStringLiteral("org.example.Editor")), nullptr);
    EXPECT_EQ(index.entry(QStringLiteral("org.example.Editor"))->name, QStringLiteral("Editor (mine)"));
}

TEST_F(DesktopEntryIndexTests, ProgramsResolveThroughPathOrAsAbsolutePaths) {
    writeFile(bin + QStringLiteral("/not-executable"), "data");
    const QString searchPath = folder.filePath(QStringLiteral("empty")) + u':' + bin;
    EXPECT_EQ(DesktopEntryIndex::findProgram(QStringLiteral("editor"), searchPath),
              bin + QStringLiteral("/editor"));
    EXPECT_EQ(DesktopEntryIndex::findProgram(bin + QStringLiteral("/editor"), QString()),
              bin + QStringLiteral("/editor"));
    EXPECT_EQ(DesktopEntryIndex::findProgram(QStringLiteral("not-executable"), searchPath), std::nullopt);
    EXPECT_EQ(DesktopEntryIndex::findProgram(QStringLiteral("bin/editor"), searchPath), std::nullopt);
    EXPECT_EQ(DesktopEntryIndex::findProgram(QStringLiteral("editor"), QString()), std::nullopt);
}

TEST(DesktopEntryIndexDefaults, DataHomeThenDataDirsThenFlatpakAndSnap) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/home/me"));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"),
                       QStringLiteral("/usr/share:relative:/var/lib/flatpak/exports/share"));
    EXPECT_EQ(DesktopEntryIndex::defaultApplicationDirectories(environment),
              (QList<QString>{QStringLiteral("/home/me/.local/share/applications"),
                              QStringLiteral("/usr/share/applications"),
                              QStringLiteral("/var/lib/flatpak/exports/share/applications"),
                              QStringLiteral("/home/me/.local/share/flatpak/exports/share/applications"),
                              QStringLiteral("/var/lib/snapd/desktop/applications")}));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("/data"));
    environment.remove(QStringLiteral("XDG_DATA_DIRS"));
    EXPECT_EQ(
        DesktopEntryIndex::defaultApplicationDirectories(environment).mid(0, 3),
        (QList<QString>{QStringLiteral("/data/applications"), QStringLiteral("/usr/local/share/applications"),
                        QStringLiteral("/usr/share/applications")}));
}

TEST_F(DesktopEntryIndexTests, PresetDiscoveryMatchesNamesWithoutTheBundleEnding) {
    writeFile(system + QStringLiteral("/com.example.Premiere2025.desktop"),
              entryText(QStringLiteral("Adobe Premiere Pro 2025"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/com.example.Premiere2024.desktop"),
              entryText(QStringLiteral("Adobe Premiere Pro 2024"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/com.example.lower.desktop"),
              entryText(QStringLiteral("adobe premiere pro 2023"), QStringLiteral("editor")));
    writeFile(home + QStringLiteral("/com.example.Premiere2024.desktop"),
              entryText(QStringLiteral("Adobe Premiere Pro 2024"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/jianying.desktop"),
              entryText(QStringLiteral("剪映专业版"), QStringLiteral("editor")));
    writeFile(system + QStringLiteral("/resolve.desktop"),
              entryText(QStringLiteral("DaVinci Resolve"), QStringLiteral("editor"),
                        QStringLiteral("Hidden=true\n")));

    const DesktopEntryPresetDiscovery discovery({home, system}, bin);
    const auto& candidates = AppPresetService::presetCandidates();
    EXPECT_EQ(discovery.discoverIdentifiers(candidates.at(2)),
              (QList<QString>{QStringLiteral("com.example.Premiere2024"),
                              QStringLiteral("com.example.Premiere2025")}));
    EXPECT_EQ(discovery.discoverIdentifiers(candidates.at(4)), QList<QString>{QStringLiteral("jianying")});
    EXPECT_TRUE(discovery.discoverIdentifiers(candidates.at(1)).isEmpty());
}

TEST_F(DesktopEntryIndexTests, ChosenEntryOrBundleGivesItsIdAndPreferredName) {
    writeFile(system + QStringLiteral("/kde4/cutter.desktop"),
              entryText(QStringLiteral("Cutter"), QStringLiteral("editor")));
    writeFile(folder.filePath(QStringLiteral("Downloads/org.example.Nameless.desktop")),
              "[Desktop Entry]\nExec=x\n");
    writeFile(folder.filePath(QStringLiteral("Downloads/notes.desktop")), "just text");
    const auto plist = [](const QString& extra) {
        return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleIdentifier</key><string>com.example.Cut</string>" +
                extra + "</dict></plist>\n")
            .toUtf8();
    };
    writeFile(folder.filePath(QStringLiteral("Both.app/Contents/Info.plist")),
              plist(QStringLiteral("<key>CFBundleDisplayName</key><string>Shown</string>"
                                   "<key>CFBundleName</key><string>Cut</string>")));
    writeFile(folder.filePath(QStringLiteral("Shown.app/Contents/Info.plist")),
              plist(QStringLiteral("<key>CFBundleName</key><integer>3</integer>"
                                   "<key>CFBundleDisplayName</key><string>Display</string>")));
    writeFile(folder.filePath(QStringLiteral("Bare Cutter.app/Contents/Info.plist")), plist(QString()));
    QDir().mkpath(folder.filePath(QStringLiteral("Empty.app")));

    const QString cut = QStringLiteral("com.example.Cut");
    const QString nameless = QStringLiteral("org.example.Nameless");
    const QList<std::pair<QString, std::optional<ChosenApplication>>> cases{
        {system + QStringLiteral("/kde4/cutter.desktop"),
         ChosenApplication{QStringLiteral("kde4-cutter"), QStringLiteral("Cutter")}},
        {folder.filePath(QStringLiteral("Downloads/org.example.Nameless.desktop")),
         ChosenApplication{nameless, nameless}},
        {folder.filePath(QStringLiteral("Downloads/notes.desktop")), std::nullopt},
        {folder.filePath(QStringLiteral("Downloads/missing.desktop")), std::nullopt},
        {folder.filePath(QStringLiteral("Both.app")), ChosenApplication{cut, QStringLiteral("Cut")}},
        {folder.filePath(QStringLiteral("Shown.app")), ChosenApplication{cut, QStringLiteral("Display")}},
        {folder.filePath(QStringLiteral("Bare Cutter.app/")),
         ChosenApplication{cut, QStringLiteral("Bare Cutter")}},
        {folder.filePath(QStringLiteral("Empty.app")), std::nullopt},
    };
    for (const auto& [path, chosen] : cases) {
        EXPECT_EQ(ChosenApplicationReader::read(path), chosen) << path.toStdString();
    }
}

} // namespace
} // namespace tarnwell
