#pragma once

#include <QString>
#include <optional>

namespace tarnwell {

// The runtime status of one rule. The two failure cases carry their message.
class StorageTargetRuntimeStatus {
public:
    enum class Kind {
        NotConfigured,
        Mounted,
        NotMounted,
        Mounting,
        Unmounting,
        ReadyToUnmount,
        TargetNotFound,
        MountFailed,
        UnmountFailed,
    };

    static StorageTargetRuntimeStatus notConfigured() {
        return StorageTargetRuntimeStatus(Kind::NotConfigured);
    }
    static StorageTargetRuntimeStatus mounted() { return StorageTargetRuntimeStatus(Kind::Mounted); }
    static StorageTargetRuntimeStatus notMounted() { return StorageTargetRuntimeStatus(Kind::NotMounted); }
    static StorageTargetRuntimeStatus mounting() { return StorageTargetRuntimeStatus(Kind::Mounting); }
    static StorageTargetRuntimeStatus unmounting() { return StorageTargetRuntimeStatus(Kind::Unmounting); }
    static StorageTargetRuntimeStatus readyToUnmount() {
        return StorageTargetRuntimeStatus(Kind::ReadyToUnmount);
    }
    static StorageTargetRuntimeStatus targetNotFound() {
        return StorageTargetRuntimeStatus(Kind::TargetNotFound);
    }
    static StorageTargetRuntimeStatus mountFailed(QString message);
    static StorageTargetRuntimeStatus unmountFailed(QString message);

    // The stored case names: "notConfigured", "mountFailed", ...
    static QString name(Kind kind);
    static std::optional<Kind> kindFromName(const QString& name);

    StorageTargetRuntimeStatus() = default;

    Kind kind() const { return m_kind; }
    // The failure message; empty for the other cases.
    const QString& message() const { return m_message; }
    bool isFailure() const { return m_kind == Kind::MountFailed || m_kind == Kind::UnmountFailed; }
    bool canRequestManualMount() const;

    bool operator==(const StorageTargetRuntimeStatus&) const = default;

private:
    explicit StorageTargetRuntimeStatus(Kind kind, QString message = {})
        : m_kind(kind)
        , m_message(std::move(message)) {}

    Kind m_kind = Kind::NotConfigured;
    QString m_message;
};

} // namespace tarnwell
