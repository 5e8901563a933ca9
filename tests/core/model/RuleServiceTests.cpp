#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/support/DecodingError.h"
#include "core/support/PlatformError.h"
#include "platform/SettingsPreferencesStore.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwell;
using tarnwell::testing::InMemoryPreferencesStore;
using tarnwell::testing::presetsWithoutDiscovery;

namespace {

class RuleServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemoryPreferencesStore> store = std::make_shared<InMemoryPreferencesStore>();
    RuleService service{store, presetsWithoutDiscovery()};

    QJsonObject storedConfiguration() const {
        return QJsonDocument::fromJson(store->values.value(RuleService::configurationKey)).object();
    }

    static DriveRule legacyRuleWithDrive() {
        DriveRule rule = DriveRule::defaultRule();
        rule.targetDrive =
            DriveInfo{QStringLiteral("Rushes"), QStringLiteral("VOL-1"), {}, {}, {}, {}, true, false};
        rule.showAllVolumes = true;
        return rule;
    }
};

} // namespace

TEST_F(RuleServiceTest, AnEmptyStoreGivesDefaultsAndStaysEmpty) {
    const TarnwellConfiguration configuration = service.loadConfiguration();
    EXPECT_EQ(configuration.schemaVersion, 2);
    EXPECT_TRUE(configuration.storageRules.isEmpty());
    EXPECT_EQ(configuration.appTriggers.size(), 5);
    EXPECT_FALSE(configuration.showAllVolumes || configuration.launchAtLogin);
    EXPECT_TRUE(store->values.isEmpty());
}

TEST_F(RuleServiceTest, ALegacyValueMigratesOnceIntoTheConfigurationKey) {
    const DriveRule legacy = legacyRuleWithDrive();
    store->values.insert(RuleService::legacyRuleKey, JsonCoding::encodeDocument(StoredDriveRule{7, legacy}));

    const TarnwellConfiguration migrated = service.loadConfiguration();
    ASSERT_EQ(migrated.storageRules.size(), 1);
    EXPECT_EQ(migrated.storageRules[0].id, legacy.id);
    EXPECT_EQ(migrated.storageRules[0].name, QStringLiteral("Rushes"));
    EXPECT_TRUE(migrated.showAllVolumes);
    EXPECT_EQ(storedConfiguration().value(QStringLiteral("schemaVersion")).toInteger(), 2);
    EXPECT_EQ(store->writeCount, 1);

    EXPECT_EQ(service.loadConfiguration(), migrated);
    EXPECT_EQ(store->writeCount, 1);
}

TEST_F(RuleServiceTest, ALegacyValueWithoutADriveKeepsItsTriggersAndFlags) {
    DriveRule legacy = DriveRule::defaultRule();
    legacy.launchAtLogin = true;
    legacy.appTriggers[0].isEnabled = false;
    store->values.insert(RuleService::legacyRuleKey, JsonCoding::encodeDocument(StoredDriveRule{1, legacy}));

    const TarnwellConfiguration migrated = service.loadConfiguration();
    EXPECT_TRUE(migrated.storageRules.isEmpty());
    EXPECT_EQ(migrated.appTriggers, legacy.appTriggers);
    EXPECT_TRUE(migrated.launchAtLogin);
}

TEST_F(RuleServiceTest, AFailedMigrationThrowsAndKeepsTheLegacyValue) {
    const QByteArray legacy = JsonCoding::encodeDocument(StoredDriveRule{1, legacyRuleWithDrive()});
    store->values.insert(RuleService::legacyRuleKey, legacy);
    store->failWrites = true;
    EXPECT_THROW(service.loadConfiguration(), PlatformError);
    EXPECT_EQ(store->values.value(RuleService::legacyRuleKey), legacy);
    EXPECT_FALSE(store->values.contains(RuleService::configurationKey));

    store->failWrites = false;
    EXPECT_EQ(service.loadConfiguration().storageRules.size(), 1);
    EXPECT_TRUE(store->values.contains(RuleService::configurationKey));
}

TEST_F(RuleServiceTest, UnreadableLegacyDataCountsAsAbsent) {
    store->values.insert(RuleService::legacyRuleKey, "{\"version\": 1}");
    EXPECT_TRUE(service.loadConfiguration().storageRules.isEmpty());
    EXPECT_EQ(store->writeCount, 0);
}

TEST_F(RuleServiceTest, ACorruptConfigurationIsReportedAndNeverRewritten) {
    const QList<QByteArray> corrupt{
        "{\"schemaVersion\": 2",
        QByteArray("\xff\xfe\x00garbage", 10),
        QByteArray(10'000, '['),
        "{\"schemaVersion\": 2, \"storageRules\": [], \"appTriggers\": [], \"showAllVolumes\": 1, "
        "\"launchAtLogin\": false}",
    };
    store->values.insert(RuleService::legacyRuleKey,
                         JsonCoding::encodeDocument(StoredDriveRule{1, legacyRuleWithDrive()}));
    for (const QByteArray& bytes : corrupt) {
        store->values.insert(RuleService::configurationKey, bytes);
        for (int attempt = 0; attempt < 3; ++attempt) {
            EXPECT_THROW(service.loadConfiguration(), DecodingError);
            EXPECT_THROW(service.loadRule(), DecodingError);
        }
        EXPECT_EQ(store->values.value(RuleService::configurationKey), bytes);
    }
    EXPECT_EQ(store->writeCount, 0);
}

TEST_F(RuleServiceTest, LoadingNormalisesTheSchemaAndMergesPresetsWithoutWriting) {
    TarnwellConfiguration stored =
        TarnwellConfiguration::defaultConfiguration(AppPresetService::defaultPresets());
    stored.appTriggers.removeAt(4);
    stored.appTriggers[0].isEnabled = false;
    stored.schemaVersion = 7;
    store->values.insert(RuleService::configurationKey, QJsonDocument(JsonCoding::encode(stored)).toJson());

    const TarnwellConfiguration loaded = service.loadConfiguration();
    EXPECT_EQ(loaded.schemaVersion, 2);
    ASSERT_EQ(loaded.appTriggers.size(), 5);
    EXPECT_EQ(loaded.appTriggers.mid(0, 4), stored.appTriggers);
    EXPECT_EQ(loaded.appTriggers[4].displayName, QStringLiteral("Jianying"));
    EXPECT_EQ(store->writeCount, 0);

    service.saveConfiguration(stored);
    EXPECT_EQ(storedConfiguration().value(QStringLiteral("schemaVersion")).toInteger(), 2);
}

TEST_F(RuleServiceTest, SaveRuleWritesBothKeysAndSaveConfigurationOnlyOne) {
    const DriveRule rule = legacyRuleWithDrive();
    service.saveRule(rule);
    ASSERT_TRUE(store->values.contains(RuleService::legacyRuleKey));
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

TEST_F(RuleServiceTest, LoadRuleTakesTheFirstStoredRuleEvenWhenDisabled) {
    TarnwellConfiguration configuration = RuleService::configuration(legacyRuleWithDrive());
    configuration.storageRules[0].isEnabled = false;
    StorageTargetRule second = configuration.storageRules[0];
    second.id = QUuid::createUuid();
    second.sortOrder = -1;
    configuration.storageRules.append(second);
    service.saveConfiguration(configuration);
    EXPECT_EQ(service.loadRule().id, configuration.storageRules[0].id);
}

TEST(SettingsPreferencesStore, ValuesSurviveANewStoreAndAFailedWriteKeepsTheOldValue) {
    QTemporaryDir directory;
    const QString file = directory.filePath(QStringLiteral("Tarnwell.conf"));
    const QByteArray value("{\"schemaVersion\": 2, \"bytes\": \"\xc3\xa9\"}");
    {
        SettingsPreferencesStore store(file);
        EXPECT_EQ(store.data(QStringLiteral("Tarnwell.configuration.v2")), std::nullopt);
        store.setData(QStringLiteral("Tarnwell.configuration.v2"), value);
    }
    SettingsPreferencesStore reopened(file);
    EXPECT_EQ(reopened.data(QStringLiteral("Tarnwell.configuration.v2")), value);

    // A store whose folder is a plain file cannot be written.
    QFile blocker(directory.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsPreferencesStore unwritable(directory.filePath(QStringLiteral("blocker/Tarnwell.conf")));
    EXPECT_THROW(unwritable.setData(QStringLiteral("key"), "new"), PlatformError);
    EXPECT_EQ(unwritable.data(QStringLiteral("key")), std::nullopt);
}
