#pragma once

#include <QString>

namespace tarnwell {

// Receives every activity-log line of the automation core.
class TarnwellLogging {
public:
    virtual ~TarnwellLogging() = default;

    // One complete line; never throws.
    virtual void record(const QString& line) = 0;
};

} // namespace tarnwell
