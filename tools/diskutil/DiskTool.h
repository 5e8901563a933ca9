#pragma once

#include "diskutil/BlockDeviceTable.h"
#include "diskutil/CommandRunning.h"
#include "diskutil/FilesystemIdentity.h"
#include "diskutil/MountHolders.h"
#include "diskutil/MountRegistry.h"

#include <QStringList>
#include <functional>

namespace tarnwell {

// What the tool needs from the machine; main() passes the real ones, tests their own.
struct DiskToolServices {
    CommandRunning* commands = nullptr;
    FilesystemProbing* probe = nullptr;
    std::function<bool()> udisksAnswers;
    bool isRoot = false;
    QString mediaRoot = QStringLiteral("/media");
    MountRegistry registry;
    std::function<QByteArray()> mountInfo = [] { return MountTable::read(); };
    std::function<QList<MountHolder>(dev_t)> findHolders = [](dev_t device) {
        return MountHolders::find(device);
    };
};

// The disk tool's commands: reads the arguments, does the work and returns the exit code with the
// texts for standard output and standard error.
class DiskTool {
public:
    explicit DiskTool(DiskToolServices services);

    CommandResult run(const QStringList& arguments);

private:
    CommandResult info(const QString& target);
    CommandResult externalPhysicalList();
    CommandResult mount(const QString& target);
    CommandResult unmount(const QString& target);

    BlockDeviceTable loadTable();
    // The device TARGET names with its file-system identity filled in, or nothing.
    std::optional<BlockDevice> resolve(BlockDeviceTable& table, const QString& target);
    CommandResult busyFailure(const QString& volume, const QStringList& mountPoints);

    DiskToolServices m_services;
};

} // namespace tarnwell
