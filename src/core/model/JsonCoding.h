#pragma once

#include "core/model/AppTrigger.h"
#include "core/model/DriveInfo.h"
#include "core/model/DriveRule.h"
#include "core/model/StorageTarget.h"
#include "core/model/StorageTargetRule.h"
#include "core/model/StorageTargetRuntimeStatus.h"
#include "core/model/StorageTargetState.h"
#include "core/model/StoredDriveRule.h"
#include "core/model/TarnwellConfiguration.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace tarnwell {

// The JSON form of the persisted records. Decoding is strict: a missing required key, a value of
// the wrong type, a number that is not an exact 64-bit integer, an unknown case name or malformed
// UUID text throws a DecodingError naming the offending key. Unknown keys are ignored.
class JsonCoding {
public:
    static QJsonObject encode(const AppTrigger& trigger);
    static QJsonObject encode(const LocalVolumeTarget& target);
    static QJsonObject encode(const SMBTarget& target);
    static QJsonObject encode(const StorageTarget& target);
    static QJsonObject encode(const StorageTargetRule& rule);
    static QJsonObject encode(const TarnwellConfiguration& configuration);
    static QJsonObject encode(const StorageTargetRuntimeStatus& status);
    static QJsonObject encode(const StorageTargetState& state);
    static QJsonObject encode(const DriveInfo& drive);
    static QJsonObject encode(const DriveRule& rule);
    static QJsonObject encode(const StoredDriveRule& stored);

    // Defined for every record that encode() accepts.
    template <typename T> static T decode(const QJsonValue& value);

    // Compact UTF-8 JSON text.
    template <typename T> static QByteArray encodeDocument(const T& value);

    // Parses the text and decodes it; invalid JSON or text that is not UTF-8 also throws.
    template <typename T> static T decodeDocument(const QByteArray& json);

    // Upper-case, 36 characters, no braces.
    static QString uuidText(const QUuid& uuid);
    // Accepts only the 36-character hyphenated form, in either case.
    static std::optional<QUuid> uuidFromText(const QString& text);

private:
    static QJsonValue parseDocument(const QByteArray& json);
};

template <typename T> QByteArray JsonCoding::encodeDocument(const T& value) {
    return QJsonDocument(encode(value)).toJson(QJsonDocument::Compact);
}

template <typename T> T JsonCoding::decodeDocument(const QByteArray& json) {
    return decode<T>(parseDocument(json));
}

} // namespace tarnwell
