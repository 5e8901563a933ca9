#include "DiskutilTestSupport.h"
#include "core/disk/MountTable.h"
#include "core/support/PropertyListReader.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/ProcessCommandRunner.h"

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

QString printfOctal(const QByteArray& bytes) {
    QString octal;
    for (const char byte : bytes) {
        octal += QStringLiteral("\\0%1").arg(static_cast<uchar>(byte), 3, 8, QLatin1Char('0'));
    }
    return octal;
}

CommandResult runProgram(const QString& program, const QStringList& arguments) {
    std::vector<std::string> texts;
    std::transform(arguments.begin(), arguments.end(), std::back_inserter(texts),
                   [](const QString& text) { return text.toStdString(); });
    return ProcessCommandRunner().run(program.toStdString(), texts);
}

CommandResult diskutil(const QStringList& arguments) {
    return runProgram(QStringLiteral(TARNWELL_DISKUTIL_EXECUTABLE), arguments);
}

QStringList LoopVolume::mountPoints() const {
    QStringList result;
    for (const MountTable::Mount& mount : MountTable::parse(MountTable::read())) {
        if (mount.majorMinor == m_majorMinor) {
            result.append(mount.mountPoint);
        }
    }
    return result;
}

QString uniqueLabel(const QString& stem) {
    return stem + QString::number(QRandomGenerator::global()->bounded(100, 999));
}

std::unique_ptr<LoopVolume> LoopVolume::create(const QTemporaryDir& directory, const QByteArray& label) {
    auto volume = std::unique_ptr<LoopVolume>(new LoopVolume);
    const QString image =
        directory.filePath(QStringLiteral("image-%1").arg(QRandomGenerator::global()->generate()));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(64 * 1024 * 1024)) {
        ADD_FAILURE() << "cannot create " << image.toStdString();
        return nullptr;
    }
    file.close();
    const CommandResult formatted = runProgram(
        "sh", {"-c", "exec mkfs.ext4 -q -L \"$(printf '%b' \"$0\")\" \"$1\"", printfOctal(label), image});
    const CommandResult attached =
        formatted.exitCode == 0 ? runProgram("losetup", {"--find", "--show", image}) : formatted;
    if (attached.exitCode != 0) {
        ADD_FAILURE() << "mkfs.ext4 or losetup: " << attached.error;
        return nullptr;
    }
    volume->m_path = QString::fromStdString(attached.output).trimmed();
    struct stat status {};
    ::stat(QFile::encodeName(volume->m_path).constData(), &status);
    volume->m_majorMinor = QStringLiteral("%1:%2").arg(major(status.st_rdev)).arg(minor(status.st_rdev));
    return volume;
}

LoopVolume::~LoopVolume() {
    for (const QString& mountPoint : mountPoints()) {
        const CommandResult result =
            runProgram("umount", {QFileInfo::exists(mountPoint) ? mountPoint : m_path});
        EXPECT_EQ(result.exitCode, 0) << "cleanup could not unmount " << mountPoint.toStdString();
        EXPECT_NO_THROW(MountRegistry().release(mountPoint.toStdString()));
    }
    runProgram("losetup", {"--detach", m_path});
}

bool runsSleep(const QProcess& process) {
    QFile command(QStringLiteral("/proc/%1/comm").arg(process.processId()));
    return command.open(QIODevice::ReadOnly) && command.readAll() == "sleep\n";
}

QString LoopVolume::uuid() const {
    return QString::fromStdString(runProgram("blkid", {"-p", "-s", "UUID", "-o", "value", m_path}).output)
        .trimmed();
}

QString LoopVolume::name() const {
    return QFileInfo(m_path).fileName();
}

PropertyList LoopVolume::info(const QString& target) const {
    const CommandResult result = diskutil({"info", "-plist", target});
    EXPECT_EQ(result.exitCode, 0) << result.error;
    return PropertyListReader::read(QByteArray::fromStdString(result.output));
}

} // namespace tarnwell::testing
