#pragma once

#include <QCoroTask>

namespace tarnwell {

// Lets a task started from the interface run to its end with nobody awaiting it. Whatever it
// throws is written to the warning log with its purpose, never lost. The task itself must not
// touch a widget after a suspension unless it re-checks it through a QPointer.
void startDetached(QCoro::Task<> task, const char* purpose);

} // namespace tarnwell
