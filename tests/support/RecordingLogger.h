#pragma once

#include "core/automation/TarnwellLogging.h"

#include <QStringList>

namespace tarnwell::testing {

// Keeps every recorded line, without timestamps.
class RecordingLogger : public TarnwellLogging {
public:
    void record(const QString& line) override;

    // Returns the lines recorded so far and forgets them.
    QStringList take();

    QStringList lines;
};

} // namespace tarnwell::testing
