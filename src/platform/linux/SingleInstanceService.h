#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace tarnwell {

// Keeps Tarnwell to one instance per user. The claim is a lock on a file, held for the life of the
// process, so it holds with or without a session bus. The first instance also owns a well-known name
// on the session bus, through which a later start asks it to show its window.
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
        // Another instance runs, but it could not be asked to show its window: one of the two has no
        // session bus, or it did not answer.
        AlreadyRunning,
    };

    // The lock files are tried in order; the first one that can be opened decides.
    explicit SingleInstanceService(QStringList lockFiles = defaultLockFiles(),
                                   QDBusConnection connection = QDBusConnection::sessionBus(),
                                   QObject* parent = nullptr);
    ~SingleInstanceService() override;

    // Throws PlatformError when none of the lock files can be used.
    Claim claim();

    // In $XDG_RUNTIME_DIR where it is set, then in the configuration folder.
    static QStringList defaultLockFiles();

    // The session bus on which the instance owns its name; other interfaces join its object there.
    const QDBusConnection& connection() const { return m_connection; }

public Q_SLOTS:
    Q_SCRIPTABLE void Activate();

Q_SIGNALS:
    void activationRequested();

private:
    // False when another process holds the lock.
    bool lock();
    void publish();
    bool askToShow();

    QStringList m_lockFiles;
    QDBusConnection m_connection;
    int m_lock = -1;
};

} // namespace tarnwell
