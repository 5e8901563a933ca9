#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/support/PlatformError.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"
#include "support/QtPrinters.h"

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

} // namespace

TEST_F(RuleServiceTest, AnEmptyStoreGivesDefaultsAndStaysEmpty) {
    const TarnwellConfiguration configuration = service.loadConfiguration();
    EXPECT_EQ(configuration, TarnwellConfiguration::defaultConfiguration(configuration.appTriggers));
    EXPECT_TRUE(store->values.isEmpty());
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

TEST_F(RuleServiceTest, LoadingNormalisesTheSchemaAndMergesPresetsWithoutWriting) {
    TarnwellConfiguration stored =
        TarnwellConfiguration::defaultConfiguration(AppPresetService::defaultPresets());
    stored.appTriggers.removeAt(4);
    stored.appTriggers[0].isEnabled = false;
    stored.schemaVersion = 7;
    store->values.insert(RuleService::configurationKey, JsonCoding::encodeDocument(stored));

    const TarnwellConfiguration loaded = service.loadConfiguration();
    EXPECT_EQ(loaded.schemaVersion, 2);
    ASSERT_EQ(loaded.appTriggers.size(), 5);
    EXPECT_EQ(loaded.appTriggers.mid(0, 4), stored.appTriggers);
    EXPECT_EQ(loaded.appTriggers[4].displayName, QStringLiteral("Jianying"));
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
