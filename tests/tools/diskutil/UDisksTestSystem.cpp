#include "UDisksTestSystem.h"
#include "DiskutilTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace tarnwell::testing {

const QString UDisksTestSystem::testUser = QStringLiteral("nobody");
const QStringList UDisksTestSystem::asTestUser = {
    QStringLiteral("/usr/bin/setpriv"), QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
    QStringLiteral("--clear-groups")};

namespace {

const QString fixtures = QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/udisks");
const QStringList udevDirectories = {QStringLiteral("/run/udev"), QStringLiteral("/dev/disk")};
const QStringList mediaFolders = {QStringLiteral("/media/root"), "/media/" + UDisksTestSystem::testUser};

bool succeeds(const QString& program, const QStringList& arguments, const QString& expectedOutput = {}) {
    try {
        const CommandResult result = runProgram(program, arguments);
        return result.exitCode == 0 && QString::fromUtf8(result.output).contains(expectedOutput);
    } catch (const std::exception&) {
        return false;
    }
}

bool eventually(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.hasExpired(10000)) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

bool answersPing(const QString& name, const QString& path) {
    return succeeds("dbus-send",
                    {"--system", "--print-reply", "--dest=" + name, path, "org.freedesktop.DBus.Peer.Ping"});
}

bool udevAnswers() {
    return succeeds("udevadm", {"control", "--ping"});
}

QStringList entriesBelow(const QStringList& roots) {
    QStringList entries;
    for (const QString& root : roots) {
        if (QFileInfo(root).isDir()) {
            entries.append(root);
            QDirIterator found(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                               QDirIterator::Subdirectories);
            while (found.hasNext()) {
                entries.append(found.next());
            }
        }
    }
    return entries;
}

// Deepest first, so each directory is empty by the time its turn comes; links are removed, never
// followed.
void removeEntriesAddedSince(const QStringList& roots, const QStringList& before) {
    QStringList added = entriesBelow(roots);
    added.removeIf([&before](const QString& entry) { return before.contains(entry); });
    std::sort(added.begin(), added.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& entry : added) {
        const QFileInfo info(entry);
        if (info.isDir() && !info.isSymLink()) {
            QDir().rmdir(entry);
        } else {
            QFile::remove(entry);
        }
    }
}

void stop(std::unique_ptr<QProcess>& process) {
    if (process) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished();
        }
        process.reset();
    }
}

} // namespace

UDisksTestSystem::UDisksTestSystem(std::optional<bool> polkitAllowsTestUser) {
    m_lock = ::open("/run/lock/tarnwell-udisks-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0) {
        m_failure = QStringLiteral("cannot take the lock of the UDisks2 tests");
        return;
    }
    // The test user reaches the bus socket in here.
    QFile::setPermissions(m_directory.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther);
    for (const QString& folder : mediaFolders) {
        if (QFileInfo::exists(folder)) {
            m_mediaFoldersBefore.append(folder);
        }
    }
    m_entriesBefore = entriesBelow(udevDirectories + QStringList{"/run/udisks2"});
    const QString socket = m_directory.filePath("system_bus_socket");
    if (qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS")) {
        m_previousBusAddress = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", QFile::encodeName("unix:path=" + socket));
    m_bus =
        start("dbus-daemon",
              {"--nofork", "--config-file=" + fixtures + "/system-bus.conf", "--address=unix:path=" + socket},
              [] { return answersPing("org.freedesktop.DBus", "/org/freedesktop/DBus"); });
    if (!m_bus) {
        return;
    }
    m_startedUdev = !udevAnswers();
    if (m_startedUdev && !(m_udev = start("/lib/systemd/systemd-udevd", {}, udevAnswers))) {
        return;
    }
    if (polkitAllowsTestUser) {
        // polkit reads its rules from fixed directories: it gets a mount namespace of its own in
        // which the rule directory is the fixtures' one, or an empty one.
        const QString rules = *polkitAllowsTestUser ? fixtures + "/rules" : m_directory.filePath("no-rules");
        QDir().mkpath(rules);
        m_polkit = start(
            "unshare",
            {"--mount", "--propagation", "private", "sh", "-c",
             R"(mount --bind "$0" /etc/polkit-1/rules.d && exec /usr/lib/polkit-1/polkitd --no-debug)",
             rules},
            [] {
                return answersPing("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority");
            });
        if (!m_polkit) {
            return;
        }
    }
    startUDisks();
}

UDisksTestSystem::~UDisksTestSystem() {
    if (m_startedUdev) {
        // The events of the test's devices are handled before udev goes, so nothing arrives late.
        runProgram("udevadm", {"settle", "--timeout=10"});
    }
    stop(m_udisks);
    stop(m_polkit);
    stop(m_udev);
    stop(m_bus);
    removeEntriesAddedSince(m_startedUdev ? udevDirectories + QStringList{"/run/udisks2"}
                                          : QStringList{"/run/udisks2"},
                            m_entriesBefore);
    for (const QString& folder : mediaFolders) {
        if (!m_mediaFoldersBefore.contains(folder)) {
            QDir().rmdir(folder);
        }
    }
    if (m_previousBusAddress) {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", *m_previousBusAddress);
    } else {
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

bool UDisksTestSystem::startUDisks() {
    m_udisks = start("/usr/libexec/udisks2/udisksd", {},
                     [] { return answersPing("org.freedesktop.UDisks2", "/org/freedesktop/UDisks2"); });
    return m_udisks != nullptr;
}

void UDisksTestSystem::stopUDisks() {
    stop(m_udisks);
}

bool UDisksTestSystem::knowsFileSystem(const QString& devicePath, const QString& uuid) const {
    return eventually([&] {
        const QByteArray description = runProgram("udisksctl", {"info", "--block-device", devicePath}).output;
        return description.contains(uuid.toUtf8()) &&
               description.contains("org.freedesktop.UDisks2.Filesystem:");
    });
}

std::unique_ptr<QProcess> UDisksTestSystem::start(const QString& program, const QStringList& arguments,
                                                  const std::function<bool()>& ready) {
    const QString log = m_directory.filePath(QFileInfo(program).fileName() + ".log");
    auto process = std::make_unique<QProcess>();
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(log);
    // Should the test process die without cleaning up, the daemons go with it.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->start(program, arguments);
    if (process->waitForStarted() &&
        eventually([&] { return process->state() != QProcess::Running || ready(); }) &&
        process->state() == QProcess::Running) {
        return process;
    }
    QFile file(log);
    m_failure =
        program + " did not start: " + (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    stop(process);
    return nullptr;
}

} // namespace tarnwell::testing
