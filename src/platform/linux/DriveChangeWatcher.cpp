#include "platform/linux/DriveChangeWatcher.h"

#include <QDBusConnection>
#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwell {

namespace {

// The multicast groups of block-device events: the kernel's own, and udev's after processing.
constexpr unsigned kernelEvents = 1;
constexpr unsigned udevEvents = 2;

const QString udisksService = QStringLiteral("org.freedesktop.UDisks2");

// Whether one datagram tells of a block device. Both the kernel's and udev's messages hold their
// properties as NUL-separated KEY=VALUE pairs; udev's binary header never contains this pair.
bool concernsBlockDevices(const char* data, size_t size) {
    static constexpr std::string_view property("SUBSYSTEM=block");
    const char* const end = data + size;
    for (const char* token = data; token < end;) {
        const char* tokenEnd = std::find(token, end, '\0');
        if (std::string_view(token, size_t(tokenEnd - token)) == property) {
            return true;
        }
        token = tokenEnd + 1;
    }
    return false;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DriveChangeWatcher::DriveChangeWatcher(Options options, QObject* parent)
    : DriveChangeSource(parent)
    , m_options(std::move(options)) {
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_firstPending.invalidate();
        Q_EMIT changed();
    });
}

DriveChangeWatcher::DriveChangeWatcher(QObject* parent)
    : DriveChangeWatcher(Options{}, parent) {
}

DriveChangeWatcher::~DriveChangeWatcher() {
    delete m_mountTableNotifier;
    delete m_deviceEventNotifier;
    for (const int descriptor : {m_mountTable, m_deviceEvents}) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
}

void DriveChangeWatcher::start() {
    if (std::exchange(m_started, true)) {
        return;
    }
    watchMountTable();
    if (m_options.deviceEvents) {
        watchDeviceEvents();
    }
    if (m_options.udisks) {
        watchUDisks();
    }
}

// Bursts are told once: each change moves the telling back by the settle time, but never past
// maxWait after the first change, so a steady stream of changes is still told.
void DriveChangeWatcher::onSystemChange() {
    if (!m_firstPending.isValid()) {
        m_firstPending.start();
    }
    const auto waited = std::chrono::milliseconds(m_firstPending.elapsed());
    const auto left = std::max(std::chrono::milliseconds(0), m_options.maxWait - waited);
    m_settle.start(std::min(m_options.settle, left));
}

void DriveChangeWatcher::watchMountTable() {
    m_mountTable = ::open(QFile::encodeName(m_options.mountTable).constData(), O_RDONLY | O_CLOEXEC);
    if (m_mountTable < 0) {
        Q_EMIT noticed(QStringLiteral("Mounts and unmounts by other programs are not followed: ") +
                       m_options.mountTable + QStringLiteral(" cannot be opened (") + systemError() +
                       QStringLiteral(")."));
        return;
    }
    // The table wakes poll() with an exceptional condition until it is read again from the start.
    readMountTable();
    m_mountTableNotifier = new QSocketNotifier(m_mountTable, QSocketNotifier::Exception);
    connect(m_mountTableNotifier, &QSocketNotifier::activated, this, [this] {
        readMountTable();
        onSystemChange();
    });
}

void DriveChangeWatcher::readMountTable() {
    std::array<char, 16384> buffer;
    ::lseek(m_mountTable, 0, SEEK_SET);
    while (::read(m_mountTable, buffer.data(), buffer.size()) > 0) {
    }
}

void DriveChangeWatcher::watchDeviceEvents() {
    m_deviceEvents = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    // While udev runs, its announcement comes after its records are written, which is when the
    // disk tool can read the new drive; the kernel's own event would come too early.
    address.nl_groups = QFile::exists(m_options.udevControl) ? udevEvents : kernelEvents;
    if (m_deviceEvents < 0 ||
        ::bind(m_deviceEvents, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Q_EMIT noticed(
            QStringLiteral("Drives plugged in or removed are not followed through device events (") +
            systemError() + QStringLiteral(")."));
        if (m_deviceEvents >= 0) {
            ::close(m_deviceEvents);
            m_deviceEvents = -1;
        }
        return;
    }
    m_deviceEventNotifier = new QSocketNotifier(m_deviceEvents, QSocketNotifier::Read);
    connect(m_deviceEventNotifier, &QSocketNotifier::activated, this, &DriveChangeWatcher::readDeviceEvents);
}

void DriveChangeWatcher::readDeviceEvents() {
    std::array<char, 8192> buffer;
    bool blockDevices = false;
    for (;;) {
        const ssize_t size = ::recv(m_deviceEvents, buffer.data(), buffer.size(), 0);
        if (size <= 0) {
            break;
        }
        blockDevices = blockDevices || concernsBlockDevices(buffer.data(), size_t(size));
    }
    if (blockDevices) {
        onSystemChange();
    }
}

void DriveChangeWatcher::watchUDisks() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return;
    }
    const QString manager = QStringLiteral("/org/freedesktop/UDisks2");
    const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    for (const char* signal : {"InterfacesAdded", "InterfacesRemoved"}) {
        bus.connect(udisksService, manager, objectManager, QString::fromLatin1(signal), this,
                    SLOT(onSystemChange()));
    }
}

} // namespace tarnwell
