#pragma once

#include <QString>

namespace tarnwell {

// The aggregate status of the whole system. The two failure cases carry their message.
class TarnwellStatus {
public:
    enum class Kind {
        NotConfigured,
        Mounted,
        NotMounted,
        Mounting,
        Unmounting,
        ReadyToUnmount,
        DriveNotFound,
        MountFailed,
        UnmountFailed,
    };

    static TarnwellStatus notConfigured() { return TarnwellStatus(Kind::NotConfigured); }
    static TarnwellStatus mounted() { return TarnwellStatus(Kind::Mounted); }
    static TarnwellStatus notMounted() { return TarnwellStatus(Kind::NotMounted); }
    static TarnwellStatus mounting() { return TarnwellStatus(Kind::Mounting); }
    static TarnwellStatus unmounting() { return TarnwellStatus(Kind::Unmounting); }
    static TarnwellStatus readyToUnmount() { return TarnwellStatus(Kind::ReadyToUnmount); }
    static TarnwellStatus driveNotFound() { return TarnwellStatus(Kind::DriveNotFound); }
    static TarnwellStatus mountFailed(QString message) {
        return TarnwellStatus(Kind::MountFailed, std::move(message));
    }
    static TarnwellStatus unmountFailed(QString message) {
        return TarnwellStatus(Kind::UnmountFailed, std::move(message));
    }

    TarnwellStatus() = default;

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

    bool operator==(const TarnwellStatus&) const = default;

private:
    explicit TarnwellStatus(Kind kind, QString message = {})
        : m_kind(kind)
        , m_message(std::move(message)) {}

    Kind m_kind = Kind::NotConfigured;
    QString m_message;
};

} // namespace tarnwell
