#include "FakeDiskTool.h"

#include "support/StateFileLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <stdexcept>

namespace tarnwell::testing {

namespace {

void collectMountPoints(const QJsonArray& entries, const QString& childKey, QStringList& points) {
    for (const QJsonValue& value : entries) {
        if (const QString mountPoint = value[QStringLiteral("mountPoint")].toString();
            !mountPoint.isEmpty()) {
            points.append(mountPoint);
        }
        collectMountPoints(value[childKey].toArray(), childKey, points);
    }
}

QJsonObject readState(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read the fake disk tool's state");
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList mountPointsOf(const QJsonObject& state) {
    QStringList points;
    collectMountPoints(state.value(QStringLiteral("disks")).toArray(), QStringLiteral("partitions"), points);
    for (const QJsonValue& container : state.value(QStringLiteral("containers")).toArray()) {
        collectMountPoints(container.toObject().value(QStringLiteral("volumes")).toArray(),
                           QStringLiteral("volumes"), points);
    }
    return points;
}

} // namespace

FakeDiskTool::FakeDiskTool(const QJsonObject& state)
    : m_statePath(m_directory.filePath(QStringLiteral("fake-diskutil-state.json"))) {
    if (!m_directory.isValid()) {
        throw std::runtime_error("cannot create the fake disk tool's directory");
    }
    setState(state);
    qputenv(stateVariable, QFile::encodeName(m_statePath));
}

FakeDiskTool::~FakeDiskTool() {
    qunsetenv(stateVariable);
}

QString FakeDiskTool::executablePath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tarnwell-fake-diskutil"));
}

void FakeDiskTool::setState(const QJsonObject& state) {
    const StateFileLock lock(m_statePath);
    QSaveFile file(m_statePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0 || !file.commit()) {
        throw std::runtime_error("cannot write the fake disk tool's state");
    }
}

QJsonObject FakeDiskTool::state() const {
    return readState(m_statePath);
}

QList<QStringList> FakeDiskTool::invocations() const {
    QList<QStringList> result;
    for (const QJsonValue& invocation : state().value(QStringLiteral("invocations")).toArray()) {
        result.append(invocation.toVariant().toStringList());
    }
    return result;
}

std::function<QStringList()> FakeDiskTool::mountedVolumeLocationsFunction() const {
    // A listing still running when a test ends may call this after the tool is gone: it then
    // finds no state file and fails like an unreadable mount table.
    return [path = m_statePath] { return mountPointsOf(readState(path)); };
}

} // namespace tarnwell::testing
