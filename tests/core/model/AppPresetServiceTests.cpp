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
    QString folder(const QString& name) {
        const QString path = m_root.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    QString addBundle(const QString& relativePath, const QByteArray& infoPlist) {
        const QString bundle = m_root.filePath(relativePath);
        QDir().mkpath(bundle + QStringLiteral("/Contents"));
        QFile file(bundle + QStringLiteral("/Contents/Info.plist"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(infoPlist);
        return bundle;
    }

    QString addBundleWithIdentifier(const QString& relativePath, const QString& identifier) {
        return addBundle(relativePath, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                       "<key>CFBundleIdentifier</key><string>" +
                                           identifier.toUtf8() + "</string></dict></plist>");
    }

    AppPresetService serviceOver(QList<QString> folders) {
        return AppPresetService({std::make_shared<ApplicationBundleDiscovery>(std::move(folders))});
    }

    static const AppTrigger& named(const QList<AppTrigger>& triggers, const QString& name) {
        for (const AppTrigger& trigger : triggers) {
            if (trigger.displayName == name) {
                return trigger;
            }
        }
        throw std::logic_error("no such trigger");
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

TEST(AppPresets, DefaultPresetsFollowTheTableWithFreshIds) {
    const QList<AppTrigger> presets = AppPresetService::defaultPresets();
    QStringList names;
    for (const AppTrigger& preset : presets) {
        names.append(preset.displayName);
        EXPECT_TRUE(preset.isEnabled && preset.isBuiltInPreset);
        EXPECT_EQ(preset.appPath, std::nullopt);
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("Final Cut Pro"), QStringLiteral("DaVinci Resolve"),
                                  QStringLiteral("Adobe Premiere Pro"), QStringLiteral("CapCut"),
                                  QStringLiteral("Jianying")}));
    EXPECT_EQ(presets[2].bundleIdentifiers.size(), 4);
    EXPECT_NE(AppPresetService::defaultPresets()[0].id, presets[0].id);
    EXPECT_EQ(AppPresetService::presetCandidates()[4].appNameHints.size(), 3);
}

TEST(AppPresets, HintsMatchLiterallyOrByOneWildcard) {
    EXPECT_TRUE(ApplicationBundleDiscovery::matchesHint(QStringLiteral("Adobe Premiere Pro 2025.app"),
                                                        QStringLiteral("Adobe Premiere Pro*.app")));
    EXPECT_FALSE(ApplicationBundleDiscovery::matchesHint(QStringLiteral("adobe premiere pro 2025.app"),
                                                         QStringLiteral("Adobe Premiere Pro*.app")));
    EXPECT_FALSE(ApplicationBundleDiscovery::matchesHint(QStringLiteral("CapCut 2.app"),
                                                         QStringLiteral("CapCut.app")));
    EXPECT_TRUE(
        ApplicationBundleDiscovery::matchesHint(QStringLiteral("A*B*.app"), QStringLiteral("A*B*.app")));
    EXPECT_FALSE(
        ApplicationBundleDiscovery::matchesHint(QStringLiteral("AxByz.app"), QStringLiteral("A*B*.app")));
}

TEST_F(ApplicationFolders, DiscoveryWalksSubfoldersButNotBundlesOrHiddenEntries) {
    const QString applications = folder(QStringLiteral("Applications"));
    addBundleWithIdentifier(QStringLiteral("Applications/Adobe/Adobe Premiere Pro 2026.app"),
                            QStringLiteral("com.adobe.PremierePro.26"));
    addBundleWithIdentifier(QStringLiteral("Applications/Adobe/Adobe Premiere Pro 2024.app"),
                            QStringLiteral("com.adobe.PremierePro.24"));
    addBundleWithIdentifier(QStringLiteral("Applications/Adobe/Adobe Premiere Pro 10.app"),
                            QStringLiteral("com.adobe.PremierePro.10"));
    addBundleWithIdentifier(QStringLiteral("Applications/adobe premiere pro 2030.app"),
                            QStringLiteral("lower.case"));
    addBundleWithIdentifier(QStringLiteral("Applications/.hidden/CapCut.app"),
                            QStringLiteral("hidden.capcut"));
    addBundleWithIdentifier(QStringLiteral("Applications/Suite.app/Contents/CapCut.app"),
                            QStringLiteral("nested.capcut"));

    const AppPresetService service = serviceOver({applications});
    const QList<AppTrigger> presets = service.presetsWithDiscoveredBundleIdentifiers();
    // Number-aware path order puts release 10 before 2024 and 2026; known identifiers are not repeated.
    EXPECT_EQ(named(presets, QStringLiteral("Adobe Premiere Pro")).bundleIdentifiers,
              (QList<QString>{
                  QStringLiteral("com.adobe.PremierePro"), QStringLiteral("com.adobe.PremierePro.23"),
                  QStringLiteral("com.adobe.PremierePro.24"), QStringLiteral("com.adobe.PremierePro.25"),
                  QStringLiteral("com.adobe.PremierePro.10"), QStringLiteral("com.adobe.PremierePro.26")}));
    EXPECT_EQ(named(presets, QStringLiteral("CapCut")).bundleIdentifiers,
              QList<QString>{QStringLiteral("com.lemon.lvoverseas")});
}

TEST_F(ApplicationFolders, UnreadableBundlesAndMissingFoldersContributeNothing) {
    const QString applications = folder(QStringLiteral("Applications"));
    addBundle(QStringLiteral("Applications/CapCut.app"), "bplist00\x01\x02garbage");
    addBundle(QStringLiteral("Applications/Jianying.app"),
              "<plist><dict><key>CFBundleIdentifier</key><string></string></dict></plist>");
    addBundle(QStringLiteral("Applications/DaVinci Resolve.app"),
              "<plist><array><string>com.example</string></array></plist>");
    const AppPresetService service = serviceOver({applications, m_root.filePath(QStringLiteral("missing"))});
    const QList<AppTrigger> discovered = service.presetsWithDiscoveredBundleIdentifiers();
    const QList<AppTrigger> plain = AppPresetService::defaultPresets();
    ASSERT_EQ(discovered.size(), plain.size());
    for (qsizetype index = 0; index < plain.size(); ++index) {
        EXPECT_EQ(discovered[index].bundleIdentifiers, plain[index].bundleIdentifiers);
    }
}

TEST_F(ApplicationFolders, AnApplicationInBothFoldersCountsOnce) {
    addBundleWithIdentifier(QStringLiteral("system/CapCut.app"), QStringLiteral("com.example.capcut"));
    addBundleWithIdentifier(QStringLiteral("home/CapCut.app"), QStringLiteral("com.example.capcut"));
    const AppPresetService service =
        serviceOver({folder(QStringLiteral("system")), folder(QStringLiteral("home"))});
    EXPECT_EQ(
        named(service.presetsWithDiscoveredBundleIdentifiers(), QStringLiteral("CapCut")).bundleIdentifiers,
        (QList<QString>{QStringLiteral("com.lemon.lvoverseas"), QStringLiteral("com.example.capcut")}));
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

    const DriveRule merged = service.mergeDiscoveredPresets(DriveRule::defaultRule(stored));
    const QList<AppTrigger>& triggers = merged.appTriggers;
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
