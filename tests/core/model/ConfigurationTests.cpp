#include "core/model/AppPresetService.h"
#include "core/model/ApplicationBundleDiscovery.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "core/support/PlatformError.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwell;
using tarnwell::testing::InMemoryPreferencesStore;

namespace {

// Corrupt and hostile stored values are in the configuration corpus, replayed through this store.
class RuleServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemoryPreferencesStore> store = std::make_shared<InMemoryPreferencesStore>();
    RuleService service{store, tarnwell::testing::presetsWithoutDiscovery()};

    static DriveRule legacyRuleWithDrive() {
        DriveRule rule = DriveRule::defaultRule();
        rule.targetDrive =
            DriveInfo{QStringLiteral("Rushes"), QStringLiteral("VOL-1"), {}, {}, {}, {}, true, false};
        rule.showAllVolumes = true;
        return rule;
    }
};

// The sample documents are the configuration corpus of the fuzzing harnesses.
QByteArray sample(const QString& name) {
    QFile file(QStringLiteral(TARNWELL_FUZZ_CORPUS "/configuration/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

QJsonObject object(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

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

TEST(JsonCoding, EveryFieldIsReadAndWrittenBackUnderItsOwnKey) {
    const auto configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(
        sample(QStringLiteral("accept-v2-every-field.json")));
    ASSERT_EQ(configuration.storageRules.size(), 2);
    EXPECT_EQ(configuration.storageRules[0].target.id(),
              QStringLiteral("local:82533DEE-A3AC-3770-BB9B-9298931A927B"));
    EXPECT_EQ(configuration.storageRules[1].target.id(), QStringLiteral("smb:smb://nas/media"));
    EXPECT_EQ(configuration.appTriggers[0].appPath, std::nullopt);
    // Unknown keys and the payload the target type does not name are dropped, UUIDs written upper-case.
    const QByteArray encoded = JsonCoding::encodeDocument(configuration);
    EXPECT_EQ(object(encoded), object(sample(QStringLiteral("accept-v2-every-field-as-written.json"))));
    EXPECT_FALSE(encoded.contains('\n'));
}

TEST(JsonCoding, AFaultFailsTheWholeDocumentAndNamesItsPlace) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("trigger-without-isBuiltInPreset"),
         QStringLiteral("Missing required key \"isBuiltInPreset\" (at appTriggers[0])")},
        {QStringLiteral("boolean-as-string"),
         QStringLiteral("Expected a boolean but found a string (at showAllVolumes)")},
        {QStringLiteral("delay-with-fraction"),
         QStringLiteral("Expected a 64-bit integer but found 1.5 (at storageRules[0].unmountDelaySeconds)")},
        {QStringLiteral("sort-order-beyond-64-bits"),
         QStringLiteral("Expected a 64-bit integer but found 1e+19 (at storageRules[0].sortOrder)")},
        {QStringLiteral("unknown-post-quit-action"),
         QStringLiteral("Unsupported post-quit action: eject (at storageRules[0].postQuitAction)")},
        {QStringLiteral("nfs-target"),
         QStringLiteral("Unsupported storage target type: nfs (at storageRules[1].target.type)")},
        {QStringLiteral("uuid-in-braces"),
         QStringLiteral(
             "Invalid UUID string: {11111111-2222-3333-4444-555555555555} (at storageRules[0].id)")},
    };
    for (const auto& [name, message] : cases) {
        try {
            JsonCoding::decodeDocument<TarnwellConfiguration>(
                sample(QStringLiteral("reject-") + name + QStringLiteral(".json")));
            ADD_FAILURE() << "decoded " << name.toStdString();
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.userMessage(), message);
        }
    }
}

TEST(JsonCoding, TheRuntimeStatusTypeDecidesWhatIsRead) {
    for (const auto& status :
         {StorageTargetRuntimeStatus::notConfigured(), StorageTargetRuntimeStatus::mounted(),
          StorageTargetRuntimeStatus::notMounted(), StorageTargetRuntimeStatus::mounting(),
          StorageTargetRuntimeStatus::unmounting(), StorageTargetRuntimeStatus::readyToUnmount(),
          StorageTargetRuntimeStatus::targetNotFound(),
          StorageTargetRuntimeStatus::mountFailed(QStringLiteral("a")),
          StorageTargetRuntimeStatus::unmountFailed(QStringLiteral("b"))}) {
        EXPECT_EQ(JsonCoding::decode<StorageTargetRuntimeStatus>(JsonCoding::encode(status)), status);
    }
    EXPECT_EQ(JsonCoding::encode(StorageTargetRuntimeStatus::mountFailed(QStringLiteral("busy"))),
              object(R"({"type": "mountFailed", "message": "busy"})"));
    EXPECT_EQ(JsonCoding::encode(StorageTargetRuntimeStatus::mounted()), object(R"({"type": "mounted"})"));
    EXPECT_EQ(
        JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "mounted", "message": "x"})")),
        StorageTargetRuntimeStatus::mounted());
    EXPECT_THROW(JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "mountFailed"})")),
                 DecodingError);
    try {
        JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "exploded"})"));
        ADD_FAILURE() << "decoded an unknown status";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Unsupported storage target runtime status: exploded"));
    }
    const StorageTargetState state{
        {}, StorageTargetRuntimeStatus::unmountFailed(QStringLiteral("x")), QStringLiteral("x")};
    EXPECT_EQ(JsonCoding::decode<StorageTargetState>(JsonCoding::encode(state)), state);
}

TEST(StorageTargetRule, PolicySummaryAndBindingFollowTheRule) {
    StorageTargetRule rule;
    rule.mountOnAppLaunch = false;
    rule.postQuitAction = PostQuitAction::Off;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("No post-quit action"));
    rule.postQuitAction = PostQuitAction::Remind;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("Remind after quit"));
    rule.mountOnAppLaunch = true;
    rule.postQuitAction = PostQuitAction::AutoUnmount;
    EXPECT_EQ(rule.policySummary(), QStringLiteral("Mount on launch, Auto-unmount after quit"));

    const AppTrigger disabled{QUuid::createUuid(), QStringLiteral("Editor"), {}, false, false, std::nullopt};
    EXPECT_FALSE(rule.isBound(disabled));
    rule.appTriggerIDs = {disabled.id};
    EXPECT_TRUE(rule.isBound(disabled));
}

TEST(StorageTargetRuntimeStatus, OnlyIdleOrFailedMountStatesAllowAManualMount) {
    using Status = StorageTargetRuntimeStatus;
    const std::pair<Status, bool> cases[] = {
        {Status::notConfigured(), true},    {Status::notMounted(), true},
        {Status::targetNotFound(), true},   {Status::mountFailed({}), true},
        {Status::mounted(), false},         {Status::mounting(), false},
        {Status::unmounting(), false},      {Status::readyToUnmount(), false},
        {Status::unmountFailed({}), false},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        EXPECT_EQ(cases[index].first.canRequestManualMount(), cases[index].second) << "case " << index;
    }
}

TEST(TarnwellError, EveryErrorHasItsUserMessage) {
    const auto message = [](auto error) {
        return userFacingMessage(std::make_exception_ptr(error)).toStdString();
    };
    using Error = TarnwellError;
    EXPECT_EQ(message(Error::mountFailed(QStringLiteral("busy"))), "Mount failed: busy");
    EXPECT_EQ(message(Error::unmountFailed(QStringLiteral("busy"))), "Unmount failed: busy");
    EXPECT_EQ(message(Error::commandFailed(1, QStringLiteral("stderr"))), "stderr");
    EXPECT_EQ(message(Error::driveNotFound()), "Drive was not found.");
    EXPECT_EQ(message(std::runtime_error("plain")), "plain");
    EXPECT_EQ(message(DecodingError(QStringLiteral("bad"), QStringLiteral("a.b"))), "bad (at a.b)");
    // Code that only knows std::exception says the same.
    EXPECT_STREQ(Error::mountFailed(QStringLiteral("busy")).what(), "Mount failed: busy");
}

TEST(RuleDerivation, ADriveRuleBecomesAtMostOneStorageRuleAndBack) {
    DriveRule legacy =
        JsonCoding::decodeDocument<StoredDriveRule>(sample(QStringLiteral("accept-legacy-with-drive.json")))
            .rule;
    const TarnwellConfiguration configuration = RuleService::configuration(legacy);
    ASSERT_EQ(configuration.storageRules.size(), 1);
    const StorageTargetRule& rule = configuration.storageRules.first();
    EXPECT_EQ(rule.name, QStringLiteral("Rushes"));
    EXPECT_EQ(rule.target, StorageTarget(LocalVolumeTarget{QStringLiteral("Rushes"), QStringLiteral("U-1"),
                                                           QStringLiteral("sdb1"), QStringLiteral("ExFAT"),
                                                           std::nullopt, QStringLiteral("USB"), true}));
    EXPECT_EQ(rule.appTriggerIDs, QList<QUuid>{legacy.appTriggers[0].id}); // disabled triggers are bound too
    EXPECT_TRUE(rule.isEnabled);
    EXPECT_EQ(rule.sortOrder, 0);
    EXPECT_EQ(RuleService::rule(configuration), legacy);

    legacy.targetDrive->mountPoint = QStringLiteral("/media/Rushes");
    legacy.targetDrive->isMounted = true;
    EXPECT_EQ(RuleService::rule(RuleService::configuration(legacy)), legacy);

    // Without a drive no rule is kept, and the first stored rule wins even as a share.
    const DriveRule driveless = DriveRule::defaultRule();
    const DriveRule back = RuleService::rule(RuleService::configuration(driveless));
    EXPECT_NE(back.id, driveless.id);
    EXPECT_EQ(back.appTriggers, driveless.appTriggers);

    auto stored = JsonCoding::decodeDocument<TarnwellConfiguration>(
        sample(QStringLiteral("accept-v2-every-field.json")));
    // First the disabled share with the higher sort order, then the enabled local volume.
    stored.storageRules.swapItemsAt(0, 1);
    EXPECT_EQ(RuleService::rule(stored).id, stored.storageRules[0].id);
    EXPECT_EQ(RuleService::rule(stored).targetDrive, std::nullopt);
}

TEST_F(RuleServiceTest, ALegacyValueMigratesOnceAndAFailedMigrationKeepsIt) {
    const DriveRule legacy = legacyRuleWithDrive();
    const QByteArray stored = JsonCoding::encodeDocument(StoredDriveRule{7, legacy});
    store->values.insert(RuleService::legacyRuleKey, stored);
    store->failWrites = true;
    EXPECT_THROW(service.loadConfiguration(), PlatformError);
    EXPECT_FALSE(store->values.contains(RuleService::configurationKey));

    store->failWrites = false;
    const TarnwellConfiguration migrated = service.loadConfiguration();
    EXPECT_EQ(migrated, RuleService::configuration(legacy));
    EXPECT_EQ(store->writeCount, 1);
    EXPECT_EQ(service.loadConfiguration(), migrated);
    EXPECT_EQ(store->writeCount, 1);
    EXPECT_EQ(store->values.value(RuleService::legacyRuleKey), stored);
}

TEST_F(RuleServiceTest, LoadingGivesDefaultsOrNormalisesTheSchemaAndMergesPresetsWithoutWriting) {
    const TarnwellConfiguration empty = service.loadConfiguration();
    EXPECT_EQ(empty, TarnwellConfiguration::defaultConfiguration(empty.appTriggers));
    EXPECT_TRUE(store->values.isEmpty());
    TarnwellConfiguration stored =
        TarnwellConfiguration::defaultConfiguration(AppPresetService::defaultPresets());
    stored.appTriggers.removeAt(4);
    stored.appTriggers[0].isEnabled = false;
    stored.schemaVersion = 7;
    store->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(stored));

    const TarnwellConfiguration loaded = service.loadConfiguration();
    EXPECT_EQ(loaded.schemaVersion, 2);
    ASSERT_EQ(loaded.appTriggers.size(), stored.appTriggers.size() + 1);
    EXPECT_EQ(loaded.appTriggers.mid(0, stored.appTriggers.size()), stored.appTriggers);
    EXPECT_EQ(loaded.appTriggers.last().displayName, QStringLiteral("Jianying"));
    EXPECT_EQ(store->writeCount, 0);

    service.saveConfiguration(stored);
    EXPECT_EQ(
        JsonCoding::decodeDocument<TarnwellConfiguration>(store->values.value(RuleService::configurationKey))
            .schemaVersion,
        2);
}

TEST_F(RuleServiceTest, SaveRuleWritesBothKeysAndSaveConfigurationOnlyOne) {
    const DriveRule rule = legacyRuleWithDrive();
    service.saveRule(rule);
    EXPECT_EQ(
        JsonCoding::decodeDocument<StoredDriveRule>(store->values.value(RuleService::legacyRuleKey)).rule,
        rule);
    EXPECT_EQ(service.loadRule(), rule);

    const QByteArray legacyBefore = store->values.value(RuleService::legacyRuleKey);
    TarnwellConfiguration configuration = service.loadConfiguration();
    configuration.storageRules.clear();
    service.saveConfiguration(configuration);
    EXPECT_EQ(store->values.value(RuleService::legacyRuleKey), legacyBefore);
    EXPECT_TRUE(service.loadConfiguration().storageRules.isEmpty());
}

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
    stored.removeAt(4);          // Jianying missing
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
    ASSERT_EQ(triggers.size(), stored.size() + 2);
    EXPECT_EQ(triggers[0], userResolve);
    EXPECT_EQ(triggers[3].id, stored[3].id);
    EXPECT_FALSE(triggers[3].isEnabled);
    EXPECT_EQ(triggers[3].bundleIdentifiers,
              (QList<QString>{QStringLiteral("custom.id"), QStringLiteral("org.example.capcut")}));
    const AppTrigger& resolve = triggers[triggers.size() - 2];
    EXPECT_EQ(resolve.displayName, QStringLiteral("DaVinci Resolve"));
    EXPECT_TRUE(resolve.isBuiltInPreset && resolve.isEnabled);
    EXPECT_EQ(triggers.last().displayName, QStringLiteral("Jianying"));
}
