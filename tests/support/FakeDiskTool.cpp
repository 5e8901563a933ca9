#include "FakeDiskTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
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
    QFile file(m_statePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(state).toJson()) < 0) {
        throw std::runtime_error("cannot write the fake disk tool's state");
    }
}

QJsonObject FakeDiskTool::state() const {
    QFile file(m_statePath);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read the fake disk tool's state");
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

QList<QStringList> FakeDiskTool::invocations() const {
    QList<QStringList> result;
    for (const QJsonValue& invocation : state().value(QStringLiteral("invocations")).toArray()) {
        result.append(invocation.toVariant().toStringList());
    }
    return result;
}

QStringList FakeDiskTool::mountedVolumeLocations() const {
    const QJsonObject current = state();
    QStringList points;
    collectMountPoints(current.value(QStringLiteral("disks")).toArray(), QStringLiteral("partitions"),
                       points);
    collectMountPoints(current.value(QStringLiteral("containers")).toArray(), QStringLiteral("volumes"),
                       points);
    return points;
}

std::function<QStringList()> FakeDiskTool::mountedVolumeLocationsFunction() const {
    return [this] { return mountedVolumeLocations(); };
}

} // namespace tarnwell::testing
