#include "core/model/JsonCoding.h"
#include "core/support/DecodingError.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace tarnwell;

namespace {

// The sample documents are the configuration corpus of the fuzzing harnesses.
QByteArray sample(const QString& name) {
    QFile file(QStringLiteral(TARNWELL_FUZZ_CORPUS "/configuration/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

QJsonObject object(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

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
