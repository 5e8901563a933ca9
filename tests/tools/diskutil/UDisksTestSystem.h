#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwell::testing {

// A system bus of the test's own, on a private socket that DBUS_SYSTEM_BUS_ADDRESS names while it
// lives, with UDisks2 on it, udev beside it (unless one runs already) and, when asked, polkit.
// Whatever it started is stopped when it goes, and what udev and UDisks2 wrote for the run is
// removed. Test processes take turns through a lock file, since udev serves the whole machine.
class UDisksTestSystem {
public:
    // The ordinary user of the tests, and the arguments that run a program as that user.
    static const QString testUser;
    static const QStringList asTestUser;

    // Without polkit only root may mount. With it, the test user may when `polkitAllowsTestUser`
    // holds, through the fixtures' rule.
    explicit UDisksTestSystem(std::optional<bool> polkitAllowsTestUser);
    ~UDisksTestSystem();

    UDisksTestSystem(const UDisksTestSystem&) = delete;
    UDisksTestSystem& operator=(const UDisksTestSystem&) = delete;

    // What failed while starting, or empty when everything runs.
    const QString& failure() const { return m_failure; }

    bool startUDisks();
    void stopUDisks();
    // Waits until UDisks2 describes the file system with this UUID on the device.
    bool knowsFileSystem(const QString& devicePath, const QString& uuid) const;

private:
    // Starts a daemon and waits until it is ready; null, with the failure noted, when it is not.
    std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments,
                                    const std::function<bool()>& ready);

    int m_lock = -1;
    QTemporaryDir m_directory;
    std::optional<QByteArray> m_previousBusAddress;
    std::unique_ptr<QProcess> m_bus;
    bool m_startedUdev = false;
    std::unique_ptr<QProcess> m_udev;
    std::unique_ptr<QProcess> m_polkit;
    std::unique_ptr<QProcess> m_udisks;
    // Everything below the directories udev and UDisks2 write to, as it was before they ran.
    QStringList m_entriesBefore;
    QStringList m_mediaFoldersBefore;
    QString m_failure;
};

} // namespace tarnwell::testing
