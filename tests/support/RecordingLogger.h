#pragma once

#include "core/automation/TarnwellLogging.h"

#include <QStringList>
#include <stdexcept>

namespace tarnwell::testing {

// Keeps every recorded line, without timestamps; throws once for the line in failOn, to play a
// collaborator that breaks its promise never to throw.
class RecordingLogger : public TarnwellLogging {
public:
    void record(const QString& line) override {
        lines.append(line);
        if (!failOn.isEmpty() && line == failOn) {
            failOn.clear();
            throw std::runtime_error("the log is full");
        }
    }

    // Returns the lines recorded so far and forgets them.
    QStringList take() { return std::exchange(lines, {}); }

    QStringList lines;
    QString failOn;
};

} // namespace tarnwell::testing
