#include "fuzz/FuzzEntryPoints.h"

#include "core/disk/DiskutilParser.h"
#include "core/disk/MountTable.h"
#include "core/model/JsonCoding.h"
#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/MountInfo.h"
#include "diskutil/PlistWriter.h"
#include "diskutil/UdevRecord.h"
#include "diskutil/Utf8Text.h"
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

Outcome readBlockDeviceRecords(const QByteArray& data) {
    const std::string bytes = data.toStdString();
    require(Utf8Text::valid(bytes) == QString::fromUtf8(data).toUtf8().toStdString(),
            "the tool reads text that is no UTF-8 as the application does");
    const FilesystemIdentity identity = UdevRecord::parse(bytes);
    const std::vector<MountInfo::Mount> mounts = MountInfo::parse(bytes);
    const auto uevent = UdevRecord::properties(bytes, "");
    for (const auto& [key, value] : uevent) {
        require(!key.empty() && key.find('=') == std::string_view::npos, "a uevent key is a whole name");
    }
    std::vector<std::string> texts;
    for (const auto& field : {identity.type, identity.version, identity.label, identity.uuid,
                              identity.partitionType, identity.partitionTableType}) {
        if (field) {
            texts.push_back(*field);
        }
    }
    for (const MountInfo::Mount& mount : mounts) {
        require(!mount.mountPoint.empty(), "a mount point is never empty");
        texts.insert(texts.end(), {mount.majorMinor, mount.source, mount.mountPoint});
    }
    PlistValue::Array written;
    PropertyList::Array expected;
    for (const std::string& text : texts) {
        require(Utf8Text::valid(text) == text, "every text read is valid UTF-8");
        written.emplace_back(PlistValue::Dictionary{{text, text}});
        const QString same = QString::fromStdString(text);
        expected.emplace_back(PropertyList::Dictionary{{same, same}});
    }
    require(PlistWriter::write(std::move(written)) ==
                PropertyListWriter::write(PropertyList(std::move(expected))).toStdString(),
            "the tool writes its property lists as the application's own writer does");
    return texts.empty() && uevent.empty() ? Outcome::Rejected : Outcome::Accepted;
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
        {QStringLiteral("block-device-records"), readBlockDeviceRecords},
        {QStringLiteral("desktop-entry"), readDesktopEntry},
        {QStringLiteral("mountinfo"), readMountInfo},
        {QStringLiteral("proc-files"), readProcessFiles},
    };
    return all;
}

} // namespace tarnwell::fuzzing
