#include "diskutil/MountHolders.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarnwell {

namespace {

bool isOn(const QString& path, dev_t device) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && status.st_dev == device;
}

// Memory maps name their file's device as "major:minor" in hexadecimal; this avoids opening
// every mapped file.
bool mapsDevice(const QString& mapsPath, dev_t device) {
    QFile maps(mapsPath);
    if (!maps.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray wanted = QByteArray::number(major(device), 16).rightJustified(2, '0') + ':' +
                              QByteArray::number(minor(device), 16).rightJustified(2, '0');
    const QList<QByteArray> lines = maps.readAll().split('\n');
    for (const QByteArray& line : lines) {
        // address perms offset dev inode path
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields.at(3) == wanted && fields.at(4) != "0") {
            return true;
        }
    }
    return false;
}

bool holds(const QString& processPath, dev_t device) {
    if (isOn(processPath + QStringLiteral("/cwd"), device) ||
        isOn(processPath + QStringLiteral("/root"), device)) {
        return true;
    }
    const QString descriptors = processPath + QStringLiteral("/fd");
    const QStringList entries =
        QDir(descriptors).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (isOn(descriptors + QLatin1Char('/') + entry, device)) {
            return true;
        }
    }
    return mapsDevice(processPath + QStringLiteral("/maps"), device);
}

} // namespace

QList<MountHolder> MountHolders::find(dev_t device, const QString& procRoot) {
    QList<MountHolder> holders;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    QList<qint64> pids;
    for (const QString& entry : entries) {
        bool isNumber = false;
        const qint64 pid = entry.toLongLong(&isNumber);
        if (isNumber) {
            pids.append(pid);
        }
    }
    std::sort(pids.begin(), pids.end());
    for (const qint64 pid : pids) {
        const QString processPath = procRoot + QLatin1Char('/') + QString::number(pid);
        if (!holds(processPath, device)) {
            continue;
        }
        QFile comm(processPath + QStringLiteral("/comm"));
        QString command;
        if (comm.open(QIODevice::ReadOnly)) {
            command = QString::fromUtf8(comm.readAll()).trimmed();
        }
        holders.append({pid, command});
    }
    return holders;
}

} // namespace tarnwell
