#include "DiskutilTestSupport.h"
#include "core/support/PropertyListReader.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/ProcessCommandRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarnwell::testing {

QByteArray diskutilFixture(const QString& name) {
    QFile file(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("missing fixture " + name.toStdString());
    }
    return file.readAll();
}

namespace {

QByteArray decodeUdevEscapes(const QByteArray& encoded) {
    QByteArray decoded;
    for (qsizetype index = 0; index < encoded.size(); ++index) {
        if (encoded.at(index) == '\\' && index + 3 < encoded.size() && encoded.at(index + 1) == 'x') {
            decoded.append(static_cast<char>(encoded.mid(index + 2, 2).toInt(nullptr, 16)));
            index += 3;
        } else {
            decoded.append(encoded.at(index));
        }
    }
    return decoded;
}

QString decodeMountInfoPath(const QByteArray& field) {
    QByteArray decoded;
    for (qsizetype index = 0; index < field.size(); ++index) {
        if (field.at(index) == '\\' && index + 3 < field.size()) {
            decoded.append(static_cast<char>(field.mid(index + 1, 3).toInt(nullptr, 8)));
            index += 3;
        } else {
            decoded.append(field.at(index));
        }
    }
    return QString::fromUtf8(decoded);
}

} // namespace

FilesystemIdentity identityFromBlkidUdev(const QByteArray& output) {
    FilesystemIdentity identity;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const QByteArray value = line.mid(equals + 1);
        if (key == "ID_FS_TYPE") {
            identity.type = QString::fromUtf8(value);
        } else if (key == "ID_FS_VERSION") {
            identity.version = QString::fromUtf8(value);
        } else if (key == "ID_FS_LABEL_ENC") {
            identity.label = QString::fromUtf8(decodeUdevEscapes(value));
        } else if (key == "ID_FS_UUID") {
            identity.uuid = QString::fromUtf8(value);
        }
    }
    return identity;
}

FilesystemIdentity FixtureProbe::probe(const QString& devicePath) {
    const QMutexLocker lock(&mutex);
    probed.append(devicePath);
    return identities.value(devicePath);
}

CommandResult ScriptedCommands::run(const QString& program, const QStringList& arguments) {
    calls.append({program, arguments});
    if (program == QLatin1String("lsblk")) {
        return {lsblkExitCode, lsblkOutput,
                lsblkExitCode == 0 ? QByteArray() : QByteArray("lsblk: broken\n")};
    }
    return results.isEmpty() ? CommandResult{} : results.takeFirst();
}

QList<QPair<QString, QStringList>> ScriptedCommands::callsOtherThanLsblk() const {
    QList<QPair<QString, QStringList>> others;
    for (const auto& call : calls) {
        if (call.first != QLatin1String("lsblk")) {
            others.append(call);
        }
    }
    return others;
}

CommandResult runProgram(const QString& program, const QStringList& arguments) {
    return ProcessCommandRunner().run(program, arguments);
}

CommandResult diskutil(const QStringList& arguments) {
    return runProgram(QStringLiteral(TARNWELL_DISKUTIL_EXECUTABLE), arguments);
}

QStringList mountPointsOf(const QString& majorMinor) {
    QFile file("/proc/self/mountinfo");
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && QString::fromLatin1(fields.at(2)) == majorMinor) {
            result.append(decodeMountInfoPath(fields.at(4)));
        }
    }
    return result;
}

QString uniqueLabel(const QString& stem) {
    return stem + QString::number(QRandomGenerator::global()->bounded(100, 999));
}

std::unique_ptr<LoopVolume> LoopVolume::create(const QTemporaryDir& directory, const QString& mkfs,
                                               const QStringList& mkfsArguments) {
    auto volume = std::unique_ptr<LoopVolume>(new LoopVolume);
    const QString image =
        directory.filePath(QStringLiteral("image-%1").arg(QRandomGenerator::global()->generate()));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(64 * 1024 * 1024)) {
        ADD_FAILURE() << "cannot create " << image.toStdString();
        return nullptr;
    }
    file.close();
    const CommandResult formatted = runProgram(mkfs, mkfsArguments + QStringList{image});
    if (formatted.exitCode != 0) {
        ADD_FAILURE() << mkfs.toStdString() << ": " << formatted.error.toStdString();
        return nullptr;
    }
    const CommandResult attached = runProgram("losetup", {"--find", "--show", image});
    if (attached.exitCode != 0) {
        ADD_FAILURE() << "losetup: " << attached.error.toStdString();
        return nullptr;
    }
    volume->m_path = QString::fromUtf8(attached.output).trimmed();
    struct stat status {};
    ::stat(QFile::encodeName(volume->m_path).constData(), &status);
    volume->m_majorMinor = QStringLiteral("%1:%2").arg(major(status.st_rdev)).arg(minor(status.st_rdev));
    return volume;
}

LoopVolume::~LoopVolume() {
    for (const QString& mountPoint : mountPointsOf(m_majorMinor)) {
        const CommandResult result = runProgram("umount", {mountPoint});
        EXPECT_EQ(result.exitCode, 0) << "cleanup could not unmount " << mountPoint.toStdString();
        if (MountRegistry().take(mountPoint)) {
            QDir().rmdir(mountPoint);
        }
    }
    runProgram("losetup", {"--detach", m_path});
}

QString LoopVolume::name() const {
    return QFileInfo(m_path).fileName();
}

PropertyList LoopVolume::info(const QString& target) const {
    const CommandResult result = diskutil({"info", "-plist", target});
    EXPECT_EQ(result.exitCode, 0) << result.error.toStdString();
    return PropertyListReader::read(result.output);
}

MountHolder::MountHolder(const QString& directory) {
    m_process.setWorkingDirectory(directory);
    m_process.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    m_process.waitForStarted();
}

void MountHolder::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

} // namespace tarnwell::testing
