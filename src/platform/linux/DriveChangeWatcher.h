#pragma once

#include "core/disk/DriveChangeSource.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

namespace tarnwell {

// Follows the drives through what the system publishes, without starting any process: the kernel
// mount table (which wakes a poll() on every mount and unmount), block-device events (as udev
// announces them once its records are written, or from the kernel itself where udev does not run)
// and, where it runs, UDisks2's object manager. Each source that cannot be used is said once and
// left out; the others still work.
class DriveChangeWatcher : public DriveChangeSource {
    Q_OBJECT

public:
    struct Options {
        QString mountTable = QStringLiteral("/proc/self/mountinfo");
        // udev's control socket: present while udev runs, and then its announcements are awaited.
        QString udevControl = QStringLiteral("/run/udev/control");
        bool deviceEvents = true;
        bool udisks = true;
        // A change is told once no other has come for this long, and at the latest after maxWait.
        std::chrono::milliseconds settle{150};
        std::chrono::milliseconds maxWait{500};
    };

    explicit DriveChangeWatcher(Options options, QObject* parent = nullptr);
    explicit DriveChangeWatcher(QObject* parent = nullptr);
    ~DriveChangeWatcher() override;

    void start() override;

private Q_SLOTS:
    void onSystemChange();

private:
    void watchMountTable();
    void watchDeviceEvents();
    void watchUDisks();
    void readMountTable();
    void readDeviceEvents();

    Options m_options;
    bool m_started = false;
    int m_mountTable = -1;
    int m_deviceEvents = -1;
    QSocketNotifier* m_mountTableNotifier = nullptr;
    QSocketNotifier* m_deviceEventNotifier = nullptr;
    QTimer m_settle;
    QElapsedTimer m_firstPending;
};

} // namespace tarnwell
