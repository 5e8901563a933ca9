#pragma once

#include <QList>
#include <QString>
#include <sys/types.h>

namespace tarnwell {

struct MountHolder {
    qint64 pid = 0;
    QString command;

    bool operator==(const MountHolder&) const = default;
};

// Finds the processes that keep a file system busy: a working directory, root directory, open
// file or mapped file on it. Processes this user may not inspect are passed over.
class MountHolders {
public:
    // device is the file system's device number as stat() reports it for paths on it.
    static QList<MountHolder> find(dev_t device, const QString& procRoot = QStringLiteral("/proc"));
};

} // namespace tarnwell
