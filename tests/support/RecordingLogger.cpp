#include "support/RecordingLogger.h"

namespace tarnwell::testing {

void RecordingLogger::record(const QString& line) {
    lines.append(line);
}

QStringList RecordingLogger::take() {
    return std::exchange(lines, {});
}

} // namespace tarnwell::testing
