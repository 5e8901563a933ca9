#include "fuzz/FuzzEntryPoints.h"

#include "core/disk/DiskutilParser.h"
#include "core/disk/MountTable.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/BlockDeviceTable.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/ProcessIdentifier.h"
#include "support/InMemoryPreferencesStore.h"
#include "support/NoPresetDiscovery.h"

#include <stdexcept>

namespace tarnwell::fuzzing {

namespace {

void require(bool condition, const char* invariant) {
    if (!condition) {
        throw std::logic_error(invariant);
    }
}

std::pair<RuleService, std::shared_ptr<testing::InMemoryPreferencesStore>>
storeHolding(const QString& key, const QByteArray& data) {
    auto store = std::make_shared<testing::InMemoryPreferencesStore>();
    store->values.insert(key, data);
    return {RuleService(store, testing::presetsWithoutDiscovery()), store};
}

template <typename T> std::optional<T> decoded(const QByteArray& data) {
    try {
        T value = JsonCoding::decodeDocument<T>(data);
        require(JsonCoding::decodeDocument<T>(JsonCoding::encodeDocument(value)) == value,
                "a decoded record reads back equal after encoding");
        return value;
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

} // namespace

Outcome readConfiguration(const QByteArray& data) {
    const auto configuration = decoded<TarnwellConfiguration>(data);
    const auto legacy = decoded<StoredDriveRule>(data);

    auto [service, store] = storeHolding(RuleService::configurationKey, data);
    try {
        const QList<StorageTargetRule> rules = service.loadConfiguration().storageRules;
        require(configuration && rules == configuration->storageRules,
                "the store loads the rules of every document that decodes");
        service.loadRule();
    } catch (const DecodingError&) {
        require(!configuration, "the store refuses only documents that do not decode");
    }
    require(store->writeCount == 0, "loading never rewrites the stored configuration");

    auto [legacyService, legacyStore] = storeHolding(RuleService::legacyRuleKey, data);
    const TarnwellConfiguration migrated = legacyService.loadConfiguration();
    require(legacyStore->writeCount == (legacy ? 1 : 0),
            "a legacy value is migrated exactly when it decodes");
    require(!legacy || legacyService.loadConfiguration() == migrated,
            "a migrated configuration loads back unchanged");
    return configuration || legacy ? Outcome::Accepted : Outcome::Rejected;
}

Outcome readDiskToolOutput(const QByteArray& data) {
    bool accepted = false;
    try {
        // The writer may replace what XML cannot carry, but its own output must read back to itself.
        const QByteArray written = PropertyListWriter::write(PropertyListReader::read(data));
        require(PropertyListWriter::write(PropertyListReader::read(written)) == written,
                "a written property list reads back to the same document");
        accepted = true;
    } catch (const DecodingError&) {
    }
    for (const auto& parse : std::initializer_list<void (*)(const QByteArray&)>{
             [](const QByteArray& bytes) { DiskutilParser::parseInfoPlist(bytes); },
             [](const QByteArray& bytes) { DiskutilParser::parseDiskIdentityPlist(bytes); },
             [](const QByteArray& bytes) {
                 DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(bytes);
             },
             [](const QByteArray& bytes) { DiskutilParser::parseAPFSVolumes(bytes); }}) {
        try {
            parse(data);
        } catch (const DecodingError&) {
            require(!accepted, "the parser reports a document of the wrong shape with its own error");
        } catch (const TarnwellError&) {
        }
    }
    return accepted ? Outcome::Accepted : Outcome::Rejected;
}

Outcome readBlockDevices(const QByteArray& data) {
    BlockDeviceTable table;
    try {
        table = BlockDeviceTable::fromLsblkJson(data);
    } catch (const DecodingError&) {
        return Outcome::Rejected;
    }
    for (const BlockDevice& device : table.devices()) {
        require(table.device(device.name) == &device && table.resolveDeviceTarget(device.name) != nullptr,
                "every device is found by its name");
        require(!device.uuid || device.uuid->isEmpty() || table.resolveUuidTarget(*device.uuid) != nullptr,
                "a device with a UUID is found by it");
        require(table.wholeDisk(device).isWholeDisk() || !table.device(table.wholeDisk(device).parent),
                "the whole disk of a device sits on nothing known");
        table.isExternal(device);
        table.busProtocol(device);
        table.isPhysical(device);
    }
    return Outcome::Accepted;
}

Outcome readDesktopEntry(const QByteArray& data) {
    DesktopEntry::group(data, QStringLiteral("Application"));
    return DesktopEntry::fromContent(data, QStringLiteral("/usr/share/applications/x.desktop"),
                                     QStringLiteral("x"))
               ? Outcome::Accepted
               : Outcome::Rejected;
}

Outcome readMountInfo(const QByteArray& data) {
    const QStringList mountPoints = MountTable::parseMountPoints(data);
    require(!mountPoints.contains(QString()), "a mount point is never empty");
    return mountPoints.isEmpty() ? Outcome::Rejected : Outcome::Accepted;
}

Outcome readProcessFiles(const QByteArray& data) {
    const bool hasStartTime = ProcessIdentifier::startTimeFromStat(data).has_value();
    const bool hasScript = ProcessIdentifier::scriptFromCommandLine(data).has_value();
    const bool hasUnit = ProcessIdentifier::applicationIdFromCgroup(QString::fromUtf8(data)).has_value();
    return hasStartTime || hasScript || hasUnit ? Outcome::Accepted : Outcome::Rejected;
}

const QList<EntryPoint>& entryPoints() {
    static const QList<EntryPoint> all{
        {QStringLiteral("configuration"), readConfiguration},
        {QStringLiteral("diskutil-plist"), readDiskToolOutput},
        {QStringLiteral("lsblk-json"), readBlockDevices},
        {QStringLiteral("desktop-entry"), readDesktopEntry},
        {QStringLiteral("mountinfo"), readMountInfo},
        {QStringLiteral("proc-files"), readProcessFiles},
    };
    return all;
}

} // namespace tarnwell::fuzzing
