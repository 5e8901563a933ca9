#include "platform/linux/SingleInstanceService.h"

#include "core/support/PlatformError.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwell {

namespace {

constexpr int activationTimeoutMilliseconds = 5000;

} // namespace

SingleInstanceService::SingleInstanceService(QStringList lockFiles, QDBusConnection connection,
                                             QObject* parent)
    : QObject(parent)
    , m_lockFiles(std::move(lockFiles))
    , m_connection(std::move(connection)) {
}

SingleInstanceService::~SingleInstanceService() {
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

QStringList SingleInstanceService::defaultLockFiles() {
    const QString name = QStringLiteral("tarnwell-instance.lock");
    QStringList files;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        files.append(QDir(runtime).filePath(name));
    }
    files.append(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                     .filePath(QStringLiteral("Tarnwell/") + name));
    return files;
}

SingleInstanceService::Claim SingleInstanceService::claim() {
    if (!lock()) {
        return askToShow() ? Claim::Raised : Claim::AlreadyRunning;
    }
    publish();
    return Claim::First;
}

bool SingleInstanceService::lock() {
    QStringList failures;
    for (const QString& file : m_lockFiles) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        // Close-on-exec, so that no child outliving this process keeps the claim.
        const int descriptor =
            ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            failures.append(file + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
            continue;
        }
        int result = 0;
        do {
            result = ::flock(descriptor, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result == 0) {
            m_lock = descriptor;
            return true;
        }
        const int error = errno;
        ::close(descriptor);
        if (error == EWOULDBLOCK) {
            return false;
        }
        failures.append(file + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    }
    throw PlatformError(
        QStringLiteral("Could not lock a file to run as the only instance (%1).").arg(failures.join(u"; ")));
}

void SingleInstanceService::publish() {
    if (!m_connection.isConnected() || !m_connection.interface()) {
        return;
    }
    const QString path = QString::fromLatin1(objectPath);
    // The object is in place before the name is taken, so a second start never finds the name
    // without someone to answer it.
    // Other parts of the application add their interfaces to this object as adaptors.
    m_connection.registerObject(path, this,
                                QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAdaptors);
    const auto reply = m_connection.interface()->registerService(
        QString::fromLatin1(serviceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_connection.unregisterObject(path);
        qWarning("Another program owns %s on the session bus, so a later start cannot show this window.",
                 serviceName);
    }
}

bool SingleInstanceService::askToShow() {
    if (!m_connection.isConnected()) {
        return false;
    }
    const QDBusMessage activate = QDBusMessage::createMethodCall(
        QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
        QStringLiteral("org.tarnwell.Tarnwell.Instance"), QStringLiteral("Activate"));
    return m_connection.call(activate, QDBus::Block, activationTimeoutMilliseconds).type() ==
           QDBusMessage::ReplyMessage;
}

void SingleInstanceService::Activate() {
    Q_EMIT activationRequested();
}

} // namespace tarnwell
