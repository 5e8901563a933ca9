#include "core/model/JsonCoding.h"

#include "core/support/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QVariant>
#include <cmath>
#include <concepts>
#include <tuple>

namespace tarnwell {

namespace {

// One stored field of a record: its JSON key and the member that holds it. The member's type decides
// how the value is read and written. A std::optional member is left out when absent and may be
// missing or null on input; any other member is required.
template <typename Record, typename Member> struct Field {
    constexpr Field(QStringView key, Member Record::*member)
        : key(key)
        , member(member) {}

    QStringView key;
    Member Record::*member;
};

// The fields of each record, in the order they are read. Decoding stops at the first fault, so this
// order decides which fault a document with several is reported by. A storage target and a runtime
// status have no table: their "type" key decides which other keys they have.
template <typename Record> struct Schema;

template <> struct Schema<AppTrigger> {
    static constexpr std::tuple fields{
        Field{u"id", &AppTrigger::id},
        Field{u"displayName", &AppTrigger::displayName},
        Field{u"bundleIdentifiers", &AppTrigger::bundleIdentifiers},
        Field{u"isEnabled", &AppTrigger::isEnabled},
        Field{u"isBuiltInPreset", &AppTrigger::isBuiltInPreset},
        Field{u"appPath", &AppTrigger::appPath},
    };
};

// A local volume target keeps what the disk tool reported about its volume, so it stores the same
// facts as a drive, which adds only whether the volume is mounted.
template <typename Volume>
constexpr std::tuple volumeFields{
    Field{u"volumeName", &Volume::volumeName},         Field{u"volumeUUID", &Volume::volumeUUID},
    Field{u"diskIdentifier", &Volume::diskIdentifier}, Field{u"fileSystem", &Volume::fileSystem},
    Field{u"mountPoint", &Volume::mountPoint},         Field{u"busProtocol", &Volume::busProtocol},
    Field{u"isExternal", &Volume::isExternal},
};

template <> struct Schema<LocalVolumeTarget> {
    static constexpr auto fields = volumeFields<LocalVolumeTarget>;
};

template <> struct Schema<DriveInfo> {
    static constexpr auto fields =
        std::tuple_cat(volumeFields<DriveInfo>, std::tuple{Field{u"isMounted", &DriveInfo::isMounted}});
};

template <> struct Schema<SMBTarget> {
    static constexpr std::tuple fields{
        Field{u"displayName", &SMBTarget::displayName},
        Field{u"urlString", &SMBTarget::urlString},
        Field{u"lastKnownMountPoint", &SMBTarget::lastKnownMountPoint},
    };
};

template <> struct Schema<StorageTargetRule> {
    static constexpr std::tuple fields{
        Field{u"id", &StorageTargetRule::id},
        Field{u"name", &StorageTargetRule::name},
        Field{u"target", &StorageTargetRule::target},
        Field{u"appTriggerIDs", &StorageTargetRule::appTriggerIDs},
        Field{u"mountOnAppLaunch", &StorageTargetRule::mountOnAppLaunch},
        Field{u"postQuitAction", &StorageTargetRule::postQuitAction},
        Field{u"unmountDelaySeconds", &StorageTargetRule::unmountDelaySeconds},
        Field{u"showNotifications", &StorageTargetRule::showNotifications},
        Field{u"isEnabled", &StorageTargetRule::isEnabled},
        Field{u"sortOrder", &StorageTargetRule::sortOrder},
    };
};

template <> struct Schema<TarnwellConfiguration> {
    static constexpr std::tuple fields{
        Field{u"schemaVersion", &TarnwellConfiguration::schemaVersion},
        Field{u"storageRules", &TarnwellConfiguration::storageRules},
        Field{u"appTriggers", &TarnwellConfiguration::appTriggers},
        Field{u"showAllVolumes", &TarnwellConfiguration::showAllVolumes},
        Field{u"launchAtLogin", &TarnwellConfiguration::launchAtLogin},
    };
};

template <> struct Schema<StorageTargetState> {
    static constexpr std::tuple fields{
        Field{u"rule", &StorageTargetState::rule},
        Field{u"status", &StorageTargetState::status},
        Field{u"lastErrorMessage", &StorageTargetState::lastErrorMessage},
    };
};

template <> struct Schema<DriveRule> {
    static constexpr std::tuple fields{
        Field{u"id", &DriveRule::id},
        Field{u"targetDrive", &DriveRule::targetDrive},
        Field{u"appTriggers", &DriveRule::appTriggers},
        Field{u"mountOnAppLaunch", &DriveRule::mountOnAppLaunch},
        Field{u"postQuitAction", &DriveRule::postQuitAction},
        Field{u"unmountDelaySeconds", &DriveRule::unmountDelaySeconds},
        Field{u"showAllVolumes", &DriveRule::showAllVolumes},
        Field{u"showNotifications", &DriveRule::showNotifications},
        Field{u"launchAtLogin", &DriveRule::launchAtLogin},
    };
};

template <> struct Schema<StoredDriveRule> {
    static constexpr std::tuple fields{
        Field{u"version", &StoredDriveRule::version},
        Field{u"rule", &StoredDriveRule::rule},
    };
};

template <typename T> constexpr bool isList = false;
template <typename T> constexpr bool isList<QList<T>> = true;

QString typeName(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

// Paths name keys joined by dots and list elements by index; the document itself has the empty path.
QString displayPath(const QString& path) {
    return path.isEmpty() ? QStringLiteral("top level") : path;
}

QString elementPath(const QString& path, qsizetype index) {
    return QStringLiteral("%1[%2]").arg(path).arg(index);
}

// The value, when it has the JSON type that the member needs.
QJsonValue expect(const QJsonValue& value, QJsonValue::Type type, QStringView expected, const QString& path) {
    if (value.type() != type) {
        throw DecodingError(QStringLiteral("Expected %1 but found %2").arg(expected, typeName(value)),
                            displayPath(path));
    }
    return value;
}

template <typename T> T readValue(const QJsonValue& value, const QString& path);

// Decodes one JSON object, remembering where it sits in the document so that every error names the
// offending key.
class ObjectReader {
public:
    ObjectReader(const QJsonValue& value, const QString& path)
        : m_object(expect(value, QJsonValue::Object, u"an object", path).toObject())
        , m_path(path) {}

    QString childPath(QStringView key) const {
        return m_path.isEmpty() ? key.toString() : m_path + u'.' + key.toString();
    }

    // A missing key is the fault of the object, a value of the wrong type that of the key.
    template <typename T> T value(QStringView key) const {
        const auto found = m_object.constFind(key);
        if (found == m_object.constEnd()) {
            throw DecodingError(QStringLiteral("Missing required key \"%1\"").arg(key), displayPath(m_path));
        }
        return readValue<T>(*found, childPath(key));
    }

    template <typename T> void read(QStringView key, T& member) const { member = value<T>(key); }

    // An optional member stays absent when its key is missing or null.
    template <typename T> void read(QStringView key, std::optional<T>& member) const {
        const auto found = m_object.constFind(key);
        if (found != m_object.constEnd() && !found->isNull()) {
            member = readValue<T>(*found, childPath(key));
        }
    }

private:
    QJsonObject m_object;
    QString m_path;
};

qint64 readInteger(const QJsonValue& value, const QString& path) {
    expect(value, QJsonValue::Double, u"an integer", path);
    // Integers written without a fraction are held exactly; anything else must still be an exact
    // whole number inside the 64-bit range.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong) {
        return variant.toLongLong();
    }
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || std::trunc(number) != number || number < -limit || number >= limit) {
        throw DecodingError(
            QStringLiteral("Expected a 64-bit integer but found %1").arg(QString::number(number, 'g', 17)),
            path);
    }
    return static_cast<qint64>(number);
}

QUuid readUuid(const QJsonValue& value, const QString& path) {
    const QString text = readValue<QString>(value, path);
    const auto uuid = JsonCoding::uuidFromText(text);
    if (!uuid) {
        throw DecodingError(QStringLiteral("Invalid UUID string: %1").arg(text), path);
    }
    return *uuid;
}

PostQuitAction readPostQuitAction(const QJsonValue& value, const QString& path) {
    const QString raw = readValue<QString>(value, path);
    const auto action = postQuitActionFromRawValue(raw);
    if (!action) {
        throw DecodingError(QStringLiteral("Unsupported post-quit action: ") + raw, path);
    }
    return *action;
}

StorageTarget readStorageTarget(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    const auto type = reader.value<QString>(u"type");
    if (type == u"localVolume") {
        return reader.value<LocalVolumeTarget>(type);
    }
    if (type == u"smbShare") {
        return reader.value<SMBTarget>(type);
    }
    throw DecodingError(QStringLiteral("Unsupported storage target type: ") + type,
                        reader.childPath(u"type"));
}

StorageTargetRuntimeStatus readRuntimeStatus(const QJsonValue& value, const QString& path) {
    using Kind = StorageTargetRuntimeStatus::Kind;
    const ObjectReader reader(value, path);
    const auto type = reader.value<QString>(u"type");
    const auto kind = StorageTargetRuntimeStatus::kindFromName(type);
    if (!kind) {
        throw DecodingError(QStringLiteral("Unsupported storage target runtime status: ") + type,
                            reader.childPath(u"type"));
    }
    switch (*kind) {
    case Kind::NotConfigured:
        return StorageTargetRuntimeStatus::notConfigured();
    case Kind::Mounted:
        return StorageTargetRuntimeStatus::mounted();
    case Kind::NotMounted:
        return StorageTargetRuntimeStatus::notMounted();
    case Kind::Mounting:
        return StorageTargetRuntimeStatus::mounting();
    case Kind::Unmounting:
        return StorageTargetRuntimeStatus::unmounting();
    case Kind::ReadyToUnmount:
        return StorageTargetRuntimeStatus::readyToUnmount();
    case Kind::TargetNotFound:
        return StorageTargetRuntimeStatus::targetNotFound();
    case Kind::MountFailed:
        return StorageTargetRuntimeStatus::mountFailed(reader.value<QString>(u"message"));
    case Kind::UnmountFailed:
        return StorageTargetRuntimeStatus::unmountFailed(reader.value<QString>(u"message"));
    }
    Q_UNREACHABLE();
}

// Decodes the value at the given path of the document as a T; every fault throws a DecodingError
// naming that path or, for a missing key, the object that lacks it.
template <typename T> T readValue(const QJsonValue& value, const QString& path) {
    if constexpr (std::same_as<T, QString>) {
        return expect(value, QJsonValue::String, u"a string", path).toString();
    } else if constexpr (std::same_as<T, bool>) {
        return expect(value, QJsonValue::Bool, u"a boolean", path).toBool();
    } else if constexpr (std::same_as<T, qint64>) {
        return readInteger(value, path);
    } else if constexpr (std::same_as<T, QUuid>) {
        return readUuid(value, path);
    } else if constexpr (std::same_as<T, PostQuitAction>) {
        return readPostQuitAction(value, path);
    } else if constexpr (isList<T>) {
        const QJsonArray items = expect(value, QJsonValue::Array, u"an array", path).toArray();
        T list;
        list.reserve(items.size());
        for (qsizetype index = 0; index < items.size(); ++index) {
            list.append(readValue<typename T::value_type>(items.at(index), elementPath(path, index)));
        }
        return list;
    } else if constexpr (std::same_as<T, StorageTarget>) {
        return readStorageTarget(value, path);
    } else if constexpr (std::same_as<T, StorageTargetRuntimeStatus>) {
        return readRuntimeStatus(value, path);
    } else {
        const ObjectReader reader(value, path);
        T record;
        std::apply([&](const auto&... field) { (reader.read(field.key, record.*field.member), ...); },
                   Schema<T>::fields);
        return record;
    }
}

// The JSON form of a member's value; a nested record is written by its own encode().
template <typename T> QJsonValue writeValue(const T& value) {
    if constexpr (std::same_as<T, QString> || std::same_as<T, bool> || std::same_as<T, qint64>) {
        return value;
    } else if constexpr (std::same_as<T, QUuid>) {
        return JsonCoding::uuidText(value);
    } else if constexpr (std::same_as<T, PostQuitAction>) {
        return rawValue(value);
    } else if constexpr (isList<T>) {
        QJsonArray array;
        for (const auto& item : value) {
            array.append(writeValue(item));
        }
        return array;
    } else {
        return JsonCoding::encode(value);
    }
}

template <typename T> void writeField(QJsonObject& object, QStringView key, const T& value) {
    object.insert(key, writeValue(value));
}

template <typename T> void writeField(QJsonObject& object, QStringView key, const std::optional<T>& value) {
    if (value) {
        object.insert(key, writeValue(*value));
    }
}

template <typename Record> QJsonObject writeRecord(const Record& record) {
    QJsonObject object;
    std::apply([&](const auto&... field) { (writeField(object, field.key, record.*field.member), ...); },
               Schema<Record>::fields);
    return object;
}

} // namespace

QString JsonCoding::uuidText(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> JsonCoding::uuidFromText(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!pattern.match(text).hasMatch()) {
        return std::nullopt;
    }
    return QUuid::fromString(text);
}

QJsonValue JsonCoding::parseDocument(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        throw DecodingError(QStringLiteral("The data is not valid JSON: %1").arg(error.errorString()),
                            QStringLiteral("offset %1").arg(error.offset));
    }
    if (document.isObject()) {
        return document.object();
    }
    return document.array();
}

QJsonObject JsonCoding::encode(const StorageTarget& target) {
    if (const auto* volume = target.asLocalVolume()) {
        return {{QStringLiteral("type"), QStringLiteral("localVolume")},
                {QStringLiteral("localVolume"), encode(*volume)}};
    }
    return {{QStringLiteral("type"), QStringLiteral("smbShare")},
            {QStringLiteral("smbShare"), encode(*target.asSMBShare())}};
}

QJsonObject JsonCoding::encode(const StorageTargetRuntimeStatus& status) {
    QJsonObject object{{QStringLiteral("type"), StorageTargetRuntimeStatus::name(status.kind())}};
    if (status.isFailure()) {
        object.insert(QStringLiteral("message"), status.message());
    }
    return object;
}

QJsonObject JsonCoding::encode(const AppTrigger& trigger) {
    return writeRecord(trigger);
}

QJsonObject JsonCoding::encode(const LocalVolumeTarget& target) {
    return writeRecord(target);
}

QJsonObject JsonCoding::encode(const SMBTarget& target) {
    return writeRecord(target);
}

QJsonObject JsonCoding::encode(const StorageTargetRule& rule) {
    return writeRecord(rule);
}

QJsonObject JsonCoding::encode(const TarnwellConfiguration& configuration) {
    return writeRecord(configuration);
}

QJsonObject JsonCoding::encode(const StorageTargetState& state) {
    return writeRecord(state);
}

QJsonObject JsonCoding::encode(const DriveInfo& drive) {
    return writeRecord(drive);
}

QJsonObject JsonCoding::encode(const DriveRule& rule) {
    return writeRecord(rule);
}

QJsonObject JsonCoding::encode(const StoredDriveRule& stored) {
    return writeRecord(stored);
}

template <typename T> T JsonCoding::decode(const QJsonValue& value) {
    return readValue<T>(value, {});
}

template AppTrigger JsonCoding::decode(const QJsonValue&);
template LocalVolumeTarget JsonCoding::decode(const QJsonValue&);
template SMBTarget JsonCoding::decode(const QJsonValue&);
template StorageTarget JsonCoding::decode(const QJsonValue&);
template StorageTargetRule JsonCoding::decode(const QJsonValue&);
template TarnwellConfiguration JsonCoding::decode(const QJsonValue&);
template StorageTargetRuntimeStatus JsonCoding::decode(const QJsonValue&);
template StorageTargetState JsonCoding::decode(const QJsonValue&);
template DriveInfo JsonCoding::decode(const QJsonValue&);
template DriveRule JsonCoding::decode(const QJsonValue&);
template StoredDriveRule JsonCoding::decode(const QJsonValue&);

} // namespace tarnwell
