#include "core/model/JsonCoding.h"

#include "core/support/DecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QVariant>
#include <cmath>

namespace tarnwell {

namespace {

// Decodes one JSON object, remembering where it sits in the document so that every error names
// the offending key.
class ObjectReader {
public:
    ObjectReader(const QJsonValue& value, QString path)
        : m_path(std::move(path)) {
        if (!value.isObject()) {
            throw DecodingError(QStringLiteral("Expected an object but found %1").arg(typeName(value)),
                                displayPath(m_path));
        }
        m_object = value.toObject();
    }

    static QString typeName(const QJsonValue& value) {
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

    static QString displayPath(const QString& path) {
        return path.isEmpty() ? QStringLiteral("top level") : path;
    }

    QString childPath(const QString& key) const { return m_path.isEmpty() ? key : m_path + u'.' + key; }

    bool contains(const QString& key) const {
        const auto found = m_object.constFind(key);
        return found != m_object.constEnd() && !found->isNull();
    }

    QJsonValue required(const QString& key) const {
        const auto found = m_object.constFind(key);
        if (found == m_object.constEnd()) {
            throw DecodingError(QStringLiteral("Missing required key \"%1\"").arg(key), displayPath(m_path));
        }
        return *found;
    }

    [[noreturn]] void typeMismatch(const QString& key, const QString& expected,
                                   const QJsonValue& found) const {
        throw DecodingError(QStringLiteral("Expected %1 but found %2").arg(expected, typeName(found)),
                            childPath(key));
    }

    QString string(const QString& key) const {
        const QJsonValue value = required(key);
        if (!value.isString()) {
            typeMismatch(key, QStringLiteral("a string"), value);
        }
        return value.toString();
    }

    std::optional<QString> optionalString(const QString& key) const {
        return contains(key) ? std::optional(string(key)) : std::nullopt;
    }

    bool boolean(const QString& key) const {
        const QJsonValue value = required(key);
        if (!value.isBool()) {
            typeMismatch(key, QStringLiteral("a boolean"), value);
        }
        return value.toBool();
    }

    qint64 integer(const QString& key) const {
        const QJsonValue value = required(key);
        if (!value.isDouble()) {
            typeMismatch(key, QStringLiteral("an integer"), value);
        }
        // Integers written without a fraction are held exactly; anything else must still be an
        // exact whole number inside the 64-bit range.
        const QVariant variant = value.toVariant();
        if (variant.typeId() == QMetaType::LongLong) {
            return variant.toLongLong();
        }
        const double number = value.toDouble();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (!std::isfinite(number) || std::trunc(number) != number || number < -limit || number >= limit) {
            throw DecodingError(QStringLiteral("Expected a 64-bit integer but found %1")
                                    .arg(QString::number(number, 'g', 17)),
                                childPath(key));
        }
        return static_cast<qint64>(number);
    }

    QUuid uuid(const QString& key) const {
        const QString text = string(key);
        return parseUuid(text, childPath(key));
    }

    static QUuid parseUuid(const QString& text, const QString& path) {
        const auto uuid = JsonCoding::uuidFromText(text);
        if (!uuid) {
            throw DecodingError(QStringLiteral("Invalid UUID string: %1").arg(text), path);
        }
        return *uuid;
    }

    QJsonArray array(const QString& key) const {
        const QJsonValue value = required(key);
        if (!value.isArray()) {
            typeMismatch(key, QStringLiteral("an array"), value);
        }
        return value.toArray();
    }

    QList<QString> strings(const QString& key) const {
        QList<QString> result;
        const QJsonArray items = array(key);
        for (qsizetype index = 0; index < items.size(); ++index) {
            const QJsonValue item = items.at(index);
            if (!item.isString()) {
                throw DecodingError(QStringLiteral("Expected a string but found %1").arg(typeName(item)),
                                    elementPath(key, index));
            }
            result.append(item.toString());
        }
        return result;
    }

    QList<QUuid> uuids(const QString& key) const {
        QList<QUuid> result;
        const QJsonArray items = array(key);
        for (qsizetype index = 0; index < items.size(); ++index) {
            const QJsonValue item = items.at(index);
            if (!item.isString()) {
                throw DecodingError(QStringLiteral("Expected a string but found %1").arg(typeName(item)),
                                    elementPath(key, index));
            }
            result.append(parseUuid(item.toString(), elementPath(key, index)));
        }
        return result;
    }

    template <typename T>
    QList<T> records(const QString& key, T (*decodeOne)(const QJsonValue&, const QString&)) const {
        QList<T> result;
        const QJsonArray items = array(key);
        result.reserve(items.size());
        for (qsizetype index = 0; index < items.size(); ++index) {
            result.append(decodeOne(items.at(index), elementPath(key, index)));
        }
        return result;
    }

    QString elementPath(const QString& key, qsizetype index) const {
        return QStringLiteral("%1[%2]").arg(childPath(key)).arg(index);
    }

private:
    QJsonObject m_object;
    QString m_path;
};

AppTrigger decodeAppTrigger(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    AppTrigger trigger;
    trigger.id = reader.uuid(QStringLiteral("id"));
    trigger.displayName = reader.string(QStringLiteral("displayName"));
    trigger.bundleIdentifiers = reader.strings(QStringLiteral("bundleIdentifiers"));
    trigger.isEnabled = reader.boolean(QStringLiteral("isEnabled"));
    trigger.isBuiltInPreset = reader.boolean(QStringLiteral("isBuiltInPreset"));
    trigger.appPath = reader.optionalString(QStringLiteral("appPath"));
    return trigger;
}

LocalVolumeTarget decodeLocalVolumeTarget(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    LocalVolumeTarget target;
    target.volumeName = reader.string(QStringLiteral("volumeName"));
    target.volumeUUID = reader.string(QStringLiteral("volumeUUID"));
    target.diskIdentifier = reader.optionalString(QStringLiteral("diskIdentifier"));
    target.fileSystem = reader.optionalString(QStringLiteral("fileSystem"));
    target.mountPoint = reader.optionalString(QStringLiteral("mountPoint"));
    target.busProtocol = reader.optionalString(QStringLiteral("busProtocol"));
    target.isExternal = reader.boolean(QStringLiteral("isExternal"));
    return target;
}

SMBTarget decodeSMBTarget(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    SMBTarget target;
    target.displayName = reader.string(QStringLiteral("displayName"));
    target.urlString = reader.string(QStringLiteral("urlString"));
    target.lastKnownMountPoint = reader.optionalString(QStringLiteral("lastKnownMountPoint"));
    return target;
}

StorageTarget decodeStorageTarget(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    const QString type = reader.string(QStringLiteral("type"));
    if (type == u"localVolume") {
        return decodeLocalVolumeTarget(reader.required(type), reader.childPath(type));
    }
    if (type == u"smbShare") {
        return decodeSMBTarget(reader.required(type), reader.childPath(type));
    }
    throw DecodingError(QStringLiteral("Unsupported storage target type: ") + type,
                        reader.childPath(QStringLiteral("type")));
}

PostQuitAction decodePostQuitAction(const ObjectReader& reader, const QString& key) {
    const QString raw = reader.string(key);
    const auto action = postQuitActionFromRawValue(raw);
    if (!action) {
        throw DecodingError(QStringLiteral("Unsupported post-quit action: ") + raw, reader.childPath(key));
    }
    return *action;
}

StorageTargetRule decodeStorageTargetRule(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    StorageTargetRule rule;
    rule.id = reader.uuid(QStringLiteral("id"));
    rule.name = reader.string(QStringLiteral("name"));
    rule.target = decodeStorageTarget(reader.required(QStringLiteral("target")),
                                      reader.childPath(QStringLiteral("target")));
    rule.appTriggerIDs = reader.uuids(QStringLiteral("appTriggerIDs"));
    rule.mountOnAppLaunch = reader.boolean(QStringLiteral("mountOnAppLaunch"));
    rule.postQuitAction = decodePostQuitAction(reader, QStringLiteral("postQuitAction"));
    rule.unmountDelaySeconds = reader.integer(QStringLiteral("unmountDelaySeconds"));
    rule.showNotifications = reader.boolean(QStringLiteral("showNotifications"));
    rule.isEnabled = reader.boolean(QStringLiteral("isEnabled"));
    rule.sortOrder = reader.integer(QStringLiteral("sortOrder"));
    return rule;
}

TarnwellConfiguration decodeConfiguration(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    TarnwellConfiguration configuration;
    configuration.schemaVersion = reader.integer(QStringLiteral("schemaVersion"));
    configuration.storageRules = reader.records(QStringLiteral("storageRules"), &decodeStorageTargetRule);
    configuration.appTriggers = reader.records(QStringLiteral("appTriggers"), &decodeAppTrigger);
    configuration.showAllVolumes = reader.boolean(QStringLiteral("showAllVolumes"));
    configuration.launchAtLogin = reader.boolean(QStringLiteral("launchAtLogin"));
    return configuration;
}

StorageTargetRuntimeStatus decodeRuntimeStatus(const QJsonValue& value, const QString& path) {
    using Kind = StorageTargetRuntimeStatus::Kind;
    const ObjectReader reader(value, path);
    const QString type = reader.string(QStringLiteral("type"));
    const auto kind = StorageTargetRuntimeStatus::kindFromName(type);
    if (!kind) {
        throw DecodingError(QStringLiteral("Unsupported storage target runtime status: ") + type,
                            reader.childPath(QStringLiteral("type")));
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
        return StorageTargetRuntimeStatus::mountFailed(reader.string(QStringLiteral("message")));
    case Kind::UnmountFailed:
        return StorageTargetRuntimeStatus::unmountFailed(reader.string(QStringLiteral("message")));
    }
    Q_UNREACHABLE();
}

StorageTargetState decodeStorageTargetState(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    StorageTargetState state;
    state.rule = decodeStorageTargetRule(reader.required(QStringLiteral("rule")),
                                         reader.childPath(QStringLiteral("rule")));
    state.status = decodeRuntimeStatus(reader.required(QStringLiteral("status")),
                                       reader.childPath(QStringLiteral("status")));
    state.lastErrorMessage = reader.optionalString(QStringLiteral("lastErrorMessage"));
    return state;
}

DriveInfo decodeDriveInfo(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    DriveInfo drive;
    drive.volumeName = reader.string(QStringLiteral("volumeName"));
    drive.volumeUUID = reader.string(QStringLiteral("volumeUUID"));
    drive.diskIdentifier = reader.optionalString(QStringLiteral("diskIdentifier"));
    drive.fileSystem = reader.optionalString(QStringLiteral("fileSystem"));
    drive.mountPoint = reader.optionalString(QStringLiteral("mountPoint"));
    drive.busProtocol = reader.optionalString(QStringLiteral("busProtocol"));
    drive.isExternal = reader.boolean(QStringLiteral("isExternal"));
    drive.isMounted = reader.boolean(QStringLiteral("isMounted"));
    return drive;
}

DriveRule decodeDriveRule(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    DriveRule rule;
    rule.id = reader.uuid(QStringLiteral("id"));
    if (reader.contains(QStringLiteral("targetDrive"))) {
        rule.targetDrive = decodeDriveInfo(reader.required(QStringLiteral("targetDrive")),
                                           reader.childPath(QStringLiteral("targetDrive")));
    }
    rule.appTriggers = reader.records(QStringLiteral("appTriggers"), &decodeAppTrigger);
    rule.mountOnAppLaunch = reader.boolean(QStringLiteral("mountOnAppLaunch"));
    rule.postQuitAction = decodePostQuitAction(reader, QStringLiteral("postQuitAction"));
    rule.unmountDelaySeconds = reader.integer(QStringLiteral("unmountDelaySeconds"));
    rule.showAllVolumes = reader.boolean(QStringLiteral("showAllVolumes"));
    rule.showNotifications = reader.boolean(QStringLiteral("showNotifications"));
    rule.launchAtLogin = reader.boolean(QStringLiteral("launchAtLogin"));
    return rule;
}

StoredDriveRule decodeStoredDriveRule(const QJsonValue& value, const QString& path) {
    const ObjectReader reader(value, path);
    StoredDriveRule stored;
    stored.version = reader.integer(QStringLiteral("version"));
    stored.rule =
        decodeDriveRule(reader.required(QStringLiteral("rule")), reader.childPath(QStringLiteral("rule")));
    return stored;
}

void insertOptional(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value) {
        object.insert(key, *value);
    }
}

QJsonArray stringArray(const QList<QString>& values) {
    QJsonArray array;
    for (const QString& value : values) {
        array.append(value);
    }
    return array;
}

template <typename T> QJsonArray recordArray(const QList<T>& values) {
    QJsonArray array;
    for (const T& value : values) {
        array.append(JsonCoding::encode(value));
    }
    return array;
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

QJsonObject JsonCoding::encode(const AppTrigger& trigger) {
    QJsonObject object{
        {QStringLiteral("id"), uuidText(trigger.id)},
        {QStringLiteral("displayName"), trigger.displayName},
        {QStringLiteral("bundleIdentifiers"), stringArray(trigger.bundleIdentifiers)},
        {QStringLiteral("isEnabled"), trigger.isEnabled},
        {QStringLiteral("isBuiltInPreset"), trigger.isBuiltInPreset},
    };
    insertOptional(object, QStringLiteral("appPath"), trigger.appPath);
    return object;
}

QJsonObject JsonCoding::encode(const LocalVolumeTarget& target) {
    QJsonObject object{
        {QStringLiteral("volumeName"), target.volumeName},
        {QStringLiteral("volumeUUID"), target.volumeUUID},
        {QStringLiteral("isExternal"), target.isExternal},
    };
    insertOptional(object, QStringLiteral("diskIdentifier"), target.diskIdentifier);
    insertOptional(object, QStringLiteral("fileSystem"), target.fileSystem);
    insertOptional(object, QStringLiteral("mountPoint"), target.mountPoint);
    insertOptional(object, QStringLiteral("busProtocol"), target.busProtocol);
    return object;
}

QJsonObject JsonCoding::encode(const SMBTarget& target) {
    QJsonObject object{
        {QStringLiteral("displayName"), target.displayName},
        {QStringLiteral("urlString"), target.urlString},
    };
    insertOptional(object, QStringLiteral("lastKnownMountPoint"), target.lastKnownMountPoint);
    return object;
}

QJsonObject JsonCoding::encode(const StorageTarget& target) {
    if (const auto* volume = target.asLocalVolume()) {
        return {{QStringLiteral("type"), QStringLiteral("localVolume")},
                {QStringLiteral("localVolume"), encode(*volume)}};
    }
    return {{QStringLiteral("type"), QStringLiteral("smbShare")},
            {QStringLiteral("smbShare"), encode(*target.asSMBShare())}};
}

QJsonObject JsonCoding::encode(const StorageTargetRule& rule) {
    QJsonArray triggerIDs;
    for (const QUuid& id : rule.appTriggerIDs) {
        triggerIDs.append(uuidText(id));
    }
    return {
        {QStringLiteral("id"), uuidText(rule.id)},
        {QStringLiteral("name"), rule.name},
        {QStringLiteral("target"), encode(rule.target)},
        {QStringLiteral("appTriggerIDs"), triggerIDs},
        {QStringLiteral("mountOnAppLaunch"), rule.mountOnAppLaunch},
        {QStringLiteral("postQuitAction"), rawValue(rule.postQuitAction)},
        {QStringLiteral("unmountDelaySeconds"), rule.unmountDelaySeconds},
        {QStringLiteral("showNotifications"), rule.showNotifications},
        {QStringLiteral("isEnabled"), rule.isEnabled},
        {QStringLiteral("sortOrder"), rule.sortOrder},
    };
}

QJsonObject JsonCoding::encode(const TarnwellConfiguration& configuration) {
    return {
        {QStringLiteral("schemaVersion"), configuration.schemaVersion},
        {QStringLiteral("storageRules"), recordArray(configuration.storageRules)},
        {QStringLiteral("appTriggers"), recordArray(configuration.appTriggers)},
        {QStringLiteral("showAllVolumes"), configuration.showAllVolumes},
        {QStringLiteral("launchAtLogin"), configuration.launchAtLogin},
    };
}

QJsonObject JsonCoding::encode(const StorageTargetRuntimeStatus& status) {
    QJsonObject object{{QStringLiteral("type"), StorageTargetRuntimeStatus::name(status.kind())}};
    if (status.isFailure()) {
        object.insert(QStringLiteral("message"), status.message());
    }
    return object;
}

QJsonObject JsonCoding::encode(const StorageTargetState& state) {
    QJsonObject object{{QStringLiteral("rule"), encode(state.rule)},
                       {QStringLiteral("status"), encode(state.status)}};
    insertOptional(object, QStringLiteral("lastErrorMessage"), state.lastErrorMessage);
    return object;
}

QJsonObject JsonCoding::encode(const DriveInfo& drive) {
    QJsonObject object{
        {QStringLiteral("volumeName"), drive.volumeName},
        {QStringLiteral("volumeUUID"), drive.volumeUUID},
        {QStringLiteral("isExternal"), drive.isExternal},
        {QStringLiteral("isMounted"), drive.isMounted},
    };
    insertOptional(object, QStringLiteral("diskIdentifier"), drive.diskIdentifier);
    insertOptional(object, QStringLiteral("fileSystem"), drive.fileSystem);
    insertOptional(object, QStringLiteral("mountPoint"), drive.mountPoint);
    insertOptional(object, QStringLiteral("busProtocol"), drive.busProtocol);
    return object;
}

QJsonObject JsonCoding::encode(const DriveRule& rule) {
    QJsonObject object{
        {QStringLiteral("id"), uuidText(rule.id)},
        {QStringLiteral("appTriggers"), recordArray(rule.appTriggers)},
        {QStringLiteral("mountOnAppLaunch"), rule.mountOnAppLaunch},
        {QStringLiteral("postQuitAction"), rawValue(rule.postQuitAction)},
        {QStringLiteral("unmountDelaySeconds"), rule.unmountDelaySeconds},
        {QStringLiteral("showAllVolumes"), rule.showAllVolumes},
        {QStringLiteral("showNotifications"), rule.showNotifications},
        {QStringLiteral("launchAtLogin"), rule.launchAtLogin},
    };
    if (rule.targetDrive) {
        object.insert(QStringLiteral("targetDrive"), encode(*rule.targetDrive));
    }
    return object;
}

QJsonObject JsonCoding::encode(const StoredDriveRule& stored) {
    return {{QStringLiteral("version"), stored.version}, {QStringLiteral("rule"), encode(stored.rule)}};
}

template <> AppTrigger JsonCoding::decode<AppTrigger>(const QJsonValue& value) {
    return decodeAppTrigger(value, {});
}
template <> StorageTarget JsonCoding::decode<StorageTarget>(const QJsonValue& value) {
    return decodeStorageTarget(value, {});
}
template <> StorageTargetRule JsonCoding::decode<StorageTargetRule>(const QJsonValue& value) {
    return decodeStorageTargetRule(value, {});
}
template <> TarnwellConfiguration JsonCoding::decode<TarnwellConfiguration>(const QJsonValue& value) {
    return decodeConfiguration(value, {});
}
template <>
StorageTargetRuntimeStatus JsonCoding::decode<StorageTargetRuntimeStatus>(const QJsonValue& value) {
    return decodeRuntimeStatus(value, {});
}
template <> StorageTargetState JsonCoding::decode<StorageTargetState>(const QJsonValue& value) {
    return decodeStorageTargetState(value, {});
}
template <> DriveInfo JsonCoding::decode<DriveInfo>(const QJsonValue& value) {
    return decodeDriveInfo(value, {});
}
template <> DriveRule JsonCoding::decode<DriveRule>(const QJsonValue& value) {
    return decodeDriveRule(value, {});
}
template <> StoredDriveRule JsonCoding::decode<StoredDriveRule>(const QJsonValue& value) {
    return decodeStoredDriveRule(value, {});
}
template <> LocalVolumeTarget JsonCoding::decode<LocalVolumeTarget>(const QJsonValue& value) {
    return decodeLocalVolumeTarget(value, {});
}
template <> SMBTarget JsonCoding::decode<SMBTarget>(const QJsonValue& value) {
    return decodeSMBTarget(value, {});
}

} // namespace tarnwell
