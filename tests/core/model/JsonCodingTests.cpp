#include "core/model/JsonCoding.h"
#include "core/support/DecodingError.h"
#include "support/QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

const char* const triggerID = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
const char* const ruleID = "11111111-2222-3333-4444-555555555555";

QByteArray configurationJson() {
    return QByteArray(R"({
        "schemaVersion": 2,
        "showAllVolumes": true,
        "launchAtLogin": false,
        "futureKey": {"ignored": [1, 2, 3]},
        "appTriggers": [
            {"id": "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", "displayName": "DaVinci Resolve",
             "bundleIdentifiers": ["com.blackmagic-design.DaVinciResolve"], "isEnabled": true,
             "isBuiltInPreset": true},
            {"id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE", "displayName": "Editor",
             "bundleIdentifiers": [], "isEnabled": false, "isBuiltInPreset": false,
             "appPath": "/opt/editor/editor.desktop"}
        ],
        "storageRules": [
            {"id": "11111111-2222-3333-4444-555555555555", "name": "Rushes",
             "target": {"type": "localVolume", "localVolume": {
                 "volumeName": "Rushes", "volumeUUID": "82533DEE-A3AC-3770-BB9B-9298931A927B",
                 "diskIdentifier": "disk2s1", "fileSystem": "ExFAT", "mountPoint": "/media/Rushes",
                 "busProtocol": "USB", "isExternal": true}},
             "appTriggerIDs": ["0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"],
             "mountOnAppLaunch": true, "postQuitAction": "autoUnmount", "unmountDelaySeconds": 9007199254740993,
             "showNotifications": false, "isEnabled": true, "sortOrder": -4},
            {"id": "66666666-7777-8888-9999-000000000000", "name": "Share",
             "target": {"type": "smbShare", "smbShare": {"displayName": "NAS", "urlString": "smb://nas/media"}},
             "appTriggerIDs": [], "mountOnAppLaunch": false, "postQuitAction": "off",
             "unmountDelaySeconds": 0, "showNotifications": true, "isEnabled": false, "sortOrder": 1}
        ]
    })");
}

QJsonObject object(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

// Replaces one value of the sample configuration, following a path of keys and array indices.
QByteArray withValue(QStringList path, const QJsonValue& replacement, bool remove = false) {
    std::function<QJsonValue(QJsonValue, QStringList)> edit = [&](QJsonValue node,
                                                                  QStringList rest) -> QJsonValue {
        const QString head = rest.takeFirst();
        bool isIndex = false;
        const int index = head.toInt(&isIndex);
        if (isIndex) {
            QJsonArray array = node.toArray();
            array[index] = rest.isEmpty() ? replacement : edit(array[index], rest);
            return array;
        }
        QJsonObject map = node.toObject();
        if (rest.isEmpty()) {
            if (remove) {
                map.remove(head);
            } else {
                map[head] = replacement;
            }
        } else {
            map[head] = edit(map[head], rest);
        }
        return map;
    };
    return QJsonDocument(edit(object(configurationJson()), std::move(path)).toObject()).toJson();
}

QByteArray without(QStringList path) {
    return withValue(std::move(path), {}, true);
}

QString decodingFailure(const QByteArray& json) {
    try {
        JsonCoding::decodeDocument<TarnwellConfiguration>(json);
    } catch (const DecodingError& error) {
        return error.userMessage();
    }
    ADD_FAILURE() << "decoding succeeded";
    return {};
}

} // namespace

TEST(JsonCoding, DecodesEveryFieldOfAConfigurationDocument) {
    const auto configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(configurationJson());
    ASSERT_EQ(configuration.storageRules.size(), 2);
    ASSERT_EQ(configuration.appTriggers.size(), 2);
    EXPECT_TRUE(configuration.showAllVolumes);
    EXPECT_EQ(configuration.appTriggers[0].id, QUuid::fromString(QString::fromLatin1(triggerID)));
    EXPECT_EQ(configuration.appTriggers[0].appPath, std::nullopt);
    EXPECT_EQ(configuration.appTriggers[1].appPath, QStringLiteral("/opt/editor/editor.desktop"));

    const StorageTargetRule& rule = configuration.storageRules[0];
    EXPECT_EQ(rule.id, QUuid::fromString(QString::fromLatin1(ruleID)));
    EXPECT_EQ(rule.postQuitAction, PostQuitAction::AutoUnmount);
    EXPECT_EQ(rule.unmountDelaySeconds, qint64{9007199254740993});
    EXPECT_EQ(rule.sortOrder, -4);
    ASSERT_NE(rule.target.asLocalVolume(), nullptr);
    EXPECT_EQ(rule.target.id(), QStringLiteral("local:82533DEE-A3AC-3770-BB9B-9298931A927B"));
    EXPECT_EQ(rule.target.asLocalVolume()->busProtocol, QStringLiteral("USB"));

    const StorageTargetRule& share = configuration.storageRules[1];
    ASSERT_NE(share.target.asSMBShare(), nullptr);
    EXPECT_EQ(share.target.id(), QStringLiteral("smb:smb://nas/media"));
    EXPECT_EQ(share.target.asSMBShare()->lastKnownMountPoint, std::nullopt);
}

TEST(JsonCoding, EncodingGivesTheSameKeysAndValuesBack) {
    const auto configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(configurationJson());
    const QByteArray encoded = JsonCoding::encodeDocument(configuration);
    EXPECT_EQ(JsonCoding::decodeDocument<TarnwellConfiguration>(encoded), configuration);

    QJsonObject expected = object(configurationJson());
    expected.remove(QStringLiteral("futureKey"));
    QJsonArray triggers = expected[QStringLiteral("appTriggers")].toArray();
    QJsonObject first = triggers[0].toObject();
    first[QStringLiteral("id")] = QString::fromLatin1(triggerID); // written upper-case
    triggers[0] = first;
    expected[QStringLiteral("appTriggers")] = triggers;
    EXPECT_EQ(object(encoded), expected);
    EXPECT_TRUE(encoded.contains("9007199254740993"));
    EXPECT_FALSE(encoded.contains('\n'));
}

TEST(JsonCoding, RuntimeStatusesAndStatesRoundTrip) {
    const QList<StorageTargetRuntimeStatus> statuses{
        StorageTargetRuntimeStatus::notConfigured(),
        StorageTargetRuntimeStatus::mounted(),
        StorageTargetRuntimeStatus::notMounted(),
        StorageTargetRuntimeStatus::mounting(),
        StorageTargetRuntimeStatus::unmounting(),
        StorageTargetRuntimeStatus::readyToUnmount(),
        StorageTargetRuntimeStatus::targetNotFound(),
        StorageTargetRuntimeStatus::mountFailed(QStringLiteral("a")),
        StorageTargetRuntimeStatus::unmountFailed(QStringLiteral("b")),
    };
    for (const auto& status : statuses) {
        const QJsonObject encoded = JsonCoding::encode(status);
        EXPECT_EQ(encoded.size(), status.isFailure() ? 2 : 1);
        EXPECT_EQ(JsonCoding::decode<StorageTargetRuntimeStatus>(encoded), status);
    }
    EXPECT_EQ(JsonCoding::encode(StorageTargetRuntimeStatus::mountFailed(QStringLiteral("busy"))),
              object(R"({"type": "mountFailed", "message": "busy"})"));

    const auto configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(configurationJson());
    const StorageTargetState state{configuration.storageRules[0],
                                   StorageTargetRuntimeStatus::unmountFailed(QStringLiteral("x")),
                                   QStringLiteral("x")};
    EXPECT_EQ(JsonCoding::decode<StorageTargetState>(JsonCoding::encode(state)), state);
}

TEST(JsonCoding, TargetAndStatusTypesDecideWhichPayloadIsRead) {
    const auto share = JsonCoding::decode<StorageTarget>(object(R"({"type": "smbShare",
        "localVolume": {"broken": true},
        "smbShare": {"displayName": "NAS", "urlString": "smb://nas", "lastKnownMountPoint": "/mnt/nas"}})"));
    ASSERT_NE(share.asSMBShare(), nullptr);
    EXPECT_EQ(share.asSMBShare()->lastKnownMountPoint, QStringLiteral("/mnt/nas"));

    EXPECT_EQ(
        JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "mounted", "message": "x"})")),
        StorageTargetRuntimeStatus::mounted());
    EXPECT_THROW(JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "mountFailed"})")),
                 DecodingError);
    try {
        JsonCoding::decode<StorageTarget>(object(R"({"type": "nfs"})"));
        FAIL() << "decoded an nfs target";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Unsupported storage target type: nfs"));
        EXPECT_EQ(error.path(), QStringLiteral("type"));
    }
    try {
        JsonCoding::decode<StorageTargetRuntimeStatus>(object(R"({"type": "exploded"})"));
        FAIL() << "decoded an unknown status";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Unsupported storage target runtime status: exploded"));
    }
}

TEST(JsonCoding, AnyStructuralFaultFailsTheWholeDocumentAndNamesTheKey) {
    EXPECT_EQ(decodingFailure(without({"appTriggers", "0", "isBuiltInPreset"})),
              QStringLiteral("Missing required key \"isBuiltInPreset\" (at appTriggers[0])"));
    EXPECT_EQ(decodingFailure(withValue({"showAllVolumes"}, QStringLiteral("yes"))),
              QStringLiteral("Expected a boolean but found a string (at showAllVolumes)"));
    EXPECT_EQ(
        decodingFailure(withValue({"storageRules", "0", "unmountDelaySeconds"}, 1.5)),
        QStringLiteral("Expected a 64-bit integer but found 1.5 (at storageRules[0].unmountDelaySeconds)"));
    EXPECT_EQ(decodingFailure(withValue({"storageRules", "0", "sortOrder"}, 1e19)),
              QStringLiteral("Expected a 64-bit integer but found 1e+19 (at storageRules[0].sortOrder)"));
    EXPECT_EQ(decodingFailure(withValue({"storageRules", "0", "postQuitAction"}, QStringLiteral("eject"))),
              QStringLiteral("Unsupported post-quit action: eject (at storageRules[0].postQuitAction)"));
    EXPECT_EQ(decodingFailure(withValue({"storageRules", "1", "target", "type"}, QStringLiteral("nfs"))),
              QStringLiteral("Unsupported storage target type: nfs (at storageRules[1].target.type)"));
    EXPECT_EQ(decodingFailure(withValue({"storageRules", "0", "id"},
                                        QStringLiteral("{11111111-2222-3333-4444-555555555555}"))),
              QStringLiteral(
                  "Invalid UUID string: {11111111-2222-3333-4444-555555555555} (at storageRules[0].id)"));
    EXPECT_FALSE(
        decodingFailure(withValue({"storageRules", "0", "appTriggerIDs"}, QJsonArray{42})).isEmpty());
    EXPECT_FALSE(decodingFailure(withValue({"storageRules", "0", "target", "localVolume", "isExternal"}, {}))
                     .isEmpty());
    EXPECT_FALSE(decodingFailure(without({"storageRules", "0", "target", "localVolume"})).isEmpty());
    EXPECT_FALSE(decodingFailure("[]").isEmpty());
    // Whole numbers written with a fraction are still exact integers.
    EXPECT_NO_THROW(JsonCoding::decodeDocument<TarnwellConfiguration>(
        withValue({"storageRules", "0", "sortOrder"}, 3.0)));
}

TEST(JsonCoding, HostileDocumentsFailCleanly) {
    EXPECT_FALSE(decodingFailure("").isEmpty());
    EXPECT_FALSE(decodingFailure("{\"schemaVersion\": 2,").isEmpty());
    EXPECT_FALSE(decodingFailure(QByteArray("{\"schemaVersion\": \"\xff\xfe\"}")).isEmpty());
    EXPECT_FALSE(decodingFailure(QByteArray(10'000, '[') + QByteArray(10'000, ']')).isEmpty());
    QByteArray huge = "{\"padding\": \"" + QByteArray(10 * 1024 * 1024, 'x') + "\"}";
    EXPECT_EQ(decodingFailure(huge), QStringLiteral("Missing required key \"schemaVersion\" (at top level)"));
}

TEST(JsonCoding, UuidsAreWrittenUpperCaseAndReadOnlyInTheirPlainForm) {
    const QUuid uuid = QUuid::fromString(QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"));
    EXPECT_EQ(JsonCoding::uuidText(uuid), QString::fromLatin1(triggerID));
    EXPECT_EQ(JsonCoding::uuidFromText(QString::fromLatin1(triggerID)), uuid);
    EXPECT_EQ(JsonCoding::uuidFromText(QStringLiteral("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}")),
              std::nullopt);
    EXPECT_EQ(JsonCoding::uuidFromText(QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0")), std::nullopt);
    EXPECT_EQ(JsonCoding::uuidFromText(QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1fg")), std::nullopt);
}

TEST(JsonCoding, LegacyEnvelopeRoundTripsWithAndWithoutADrive) {
    const QByteArray legacy = R"({"version": 1, "rule": {
        "id": "11111111-2222-3333-4444-555555555555",
        "targetDrive": {"volumeName": "Rushes", "volumeUUID": "U-1", "isExternal": true, "isMounted": false},
        "appTriggers": [], "mountOnAppLaunch": true, "postQuitAction": "remind", "unmountDelaySeconds": 15,
        "showAllVolumes": false, "showNotifications": true, "launchAtLogin": true}})";
    StoredDriveRule stored = JsonCoding::decodeDocument<StoredDriveRule>(legacy);
    ASSERT_TRUE(stored.rule.targetDrive.has_value());
    EXPECT_EQ(stored.rule.targetDrive->mountPoint, std::nullopt);
    EXPECT_TRUE(stored.rule.launchAtLogin);
    EXPECT_EQ(JsonCoding::decodeDocument<StoredDriveRule>(JsonCoding::encodeDocument(stored)), stored);

    stored.rule.targetDrive.reset();
    const QJsonObject encoded = JsonCoding::encode(stored);
    EXPECT_FALSE(encoded[QStringLiteral("rule")].toObject().contains(QStringLiteral("targetDrive")));
    EXPECT_EQ(JsonCoding::decode<StoredDriveRule>(encoded), stored);
}
