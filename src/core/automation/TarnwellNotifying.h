#pragma once

#include <QCoroTask>
#include <QString>

namespace tarnwell {

// Posts user notifications for the automation core.
class TarnwellNotifying {
public:
    virtual ~TarnwellNotifying() = default;

    // Posts nothing when enabled is false; never throws.
    virtual QCoro::Task<> notify(QString title, QString body, bool enabled) = 0;
};

} // namespace tarnwell
