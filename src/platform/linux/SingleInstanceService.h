#pragma once

#include <QDBusConnection>
#include <QObject>

namespace tarnwell {

// Keeps Tarnwell to one instance per session: the first instance owns a well-known name on the
// session bus, and a later start asks it to show its window instead of running a second one.
class SingleInstanceService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarnwell.Tarnwell.Instance")

public:
    static constexpr const char* serviceName = "org.tarnwell.Tarnwell";
    static constexpr const char* objectPath = "/org/tarnwell/Tarnwell";

    enum class Claim {
        // This is the one instance.
        First,
        // Another instance runs and was asked to show its window.
        Raised,
        // Another instance owns the name but did not answer.
        Unreachable,
        // There is no session bus, so nothing can be shared: this instance runs alone.
        NoSessionBus,
    };

    explicit SingleInstanceService(QDBusConnection connection = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);

    Claim claim();

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();

Q_SIGNALS:
    void activationRequested();

private:
    QDBusConnection m_connection;
};

} // namespace tarnwell
