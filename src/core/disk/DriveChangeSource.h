#pragma once

#include <QObject>

namespace tarnwell {

// Tells that the drives may have changed: one appeared or went away, or a volume was mounted or
// unmounted, by anyone. It says nothing about what changed, so a listener reads the drives again;
// a burst of changes (a drive with several partitions) is told once.
class DriveChangeSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~DriveChangeSource() override = default;

    // Begins watching; changed() is emitted on the GUI thread from then on.
    virtual void start() = 0;

Q_SIGNALS:
    void changed();
    // A line for the activity log about how the source watches, such as a fallback it had to take.
    void noticed(const QString& message);
};

} // namespace tarnwell
