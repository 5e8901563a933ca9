#include "core/model/AppPresetService.h"
#include "core/model/ApplicationBundleDiscovery.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

// A folder tree of application bundles, each with a Contents/Info.plist.
class ApplicationFolders : public ::testing::Test {
protected:
    void addBundle(const QString& relativePath, const QByteArray& infoPlist) {
        const QString contents = m_root.filePath(relativePath) + QStringLiteral("/Contents");
        QDir().mkpath(contents);
        QFile file(contents + QStringLiteral("/Info.plist"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(infoPlist);
    }

    // The bundle identifiers of each preset, discovered in the given folders.
    QList<QList<QString>> discovered(const QStringList& folders) {
        QList<QString> paths;
        for (const QString& folder : folders) {
            paths.append(m_root.filePath(folder));
        }
        QList<QList<QString>> identifiers;
        for (const AppTrigger& preset :
             AppPresetService({std::make_shared<ApplicationBundleDiscovery>(paths)})
                 .presetsWithDiscoveredBundleIdentifiers()) {
            identifiers.append(preset.bundleIdentifiers);
        }
        return identifiers;
    }

    QTemporaryDir m_root;
};

class FixedDiscovery : public PresetDiscovering {
public:
    QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const override {
        return candidate.displayName == u"CapCut" ? QList<QString>{QStringLiteral("org.example.capcut")}
                                                  : QList<QString>{};
    }
};

} // namespace

TEST_F(ApplicationFolders, DiscoveryWalksSubfoldersOfEveryFolderButNotBundlesOrHiddenEntries) {
    for (const auto& [path, identifier] : std::initializer_list<std::pair<QString, QByteArray>>{
             {"system/Adobe/Adobe Premiere Pro 2026.app", "com.adobe.PremierePro.26"},
             {"system/Adobe/Adobe Premiere Pro 2024.app", "com.adobe.PremierePro.24"},
             {"system/Adobe/Adobe Premiere Pro 10.app", "com.adobe.PremierePro.10"},
             {"system/adobe premiere pro 2030.app", "lower.case"},
             {"system/.hidden/CapCut.app", "hidden.capcut"},
             {"system/CapCut 2.app", "copy.capcut"},
             {"system/Suite.app/Contents/CapCut.app", "nested.capcut"},
             {"system/Jianying.app", "com.example.jianying"},
             {"home/Jianying.app", "com.example.jianying"},
         }) {
        addBundle(path, "<plist><dict><key>CFBundleIdentifier</key><string>" + identifier +
                            "</string></dict></plist>");
    }
    addBundle(QStringLiteral("home/CapCut.app"), "bplist00\x01\x02garbage");
    addBundle(QStringLiteral("home/DaVinci Resolve.app"),
              "<plist><array><string>com.example</string></array></plist>");
    addBundle(QStringLiteral("home/Final Cut Pro.app"),
              "<plist><dict><key>CFBundleIdentifier</key><string></string></dict></plist>");

    const QList<QList<QString>> plain = discovered({});
    QList<QList<QString>> expected = plain;
    // Number-aware path order puts release 10 before 2024 and 2026; known identifiers are not repeated.
    expected[2] << QStringLiteral("com.adobe.PremierePro.10") << QStringLiteral("com.adobe.PremierePro.26");
    expected[4] << QStringLiteral("com.example.jianying");
    EXPECT_EQ(discovered({QStringLiteral("system"), QStringLiteral("home"), QStringLiteral("missing")}),
              expected);
}

TEST(AppPresets, MergeKeepsStoredTriggersAndAppendsMissingPresets) {
    const AppPresetService service({std::make_shared<FixedDiscovery>()});
    QList<AppTrigger> stored = AppPresetService::defaultPresets();
    stored.removeLast();         // Jianying missing
    stored[3].isEnabled = false; // CapCut disabled by the user
    stored[3].bundleIdentifiers = {QStringLiteral("custom.id")};
    const AppTrigger userResolve{QUuid::createUuid(),
                                 QStringLiteral("DaVinci Resolve"),
                                 {QStringLiteral("user.resolve")},
                                 true,
                                 false,
                                 QStringLiteral("/opt/resolve")};
    stored.removeAt(1);          // the built-in Resolve is gone...
    stored.prepend(userResolve); // ...and a user entry carries its name

    const QList<AppTrigger> triggers =
        service.mergeDiscoveredPresets(DriveRule::defaultRule(stored)).appTriggers;
    ASSERT_EQ(triggers.size(), 6);
    EXPECT_EQ(triggers[0], userResolve);
    EXPECT_EQ(triggers[3].id, stored[3].id);
    EXPECT_FALSE(triggers[3].isEnabled);
    EXPECT_EQ(triggers[3].bundleIdentifiers,
              (QList<QString>{QStringLiteral("custom.id"), QStringLiteral("org.example.capcut")}));
    EXPECT_EQ(triggers[4].displayName, QStringLiteral("DaVinci Resolve"));
    EXPECT_TRUE(triggers[4].isBuiltInPreset && triggers[4].isEnabled);
    EXPECT_EQ(triggers[5].displayName, QStringLiteral("Jianying"));
}
