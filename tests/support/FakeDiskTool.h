#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace tarnwell::testing {

// Drives tarnwell-fake-diskutil: owns its state file (format at the top of FakeDiskutil.cpp) and
// points the tool at it through the environment.
class FakeDiskTool {
public:
    static constexpr const char* stateVariable = "TARNWELL_FAKE_DISKUTIL_STATE";

    explicit FakeDiskTool(const QJsonObject& state = {});
    ~FakeDiskTool();

    FakeDiskTool(const FakeDiskTool&) = delete;
    FakeDiskTool& operator=(const FakeDiskTool&) = delete;

    static QString executablePath(); // beside the test executable

    void setState(const QJsonObject& state);
    QJsonObject state() const;
    QList<QStringList> invocations() const; // every run so far, as its argument vector
    // Reads the state afresh on every call for its non-empty mount points, disks and partitions
    // first, then container volumes, each in state order: what the system's mount table would show.
    std::function<QStringList()> mountedVolumeLocationsFunction() const;

private:
    QTemporaryDir m_directory;
    QString m_statePath;
};

} // namespace tarnwell::testing
