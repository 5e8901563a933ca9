#pragma once

#include "core/automation/TarnwellNotifying.h"

#include <QList>

namespace tarnwell::testing {

// Keeps every notification request, including those with notifications turned off.
class RecordingNotifier : public TarnwellNotifying {
public:
    struct Notification {
        QString title;
        QString body;
        bool enabled = true;

        bool operator==(const Notification&) const = default;
    };

    QCoro::Task<> notify(QString title, QString body, bool enabled) override;

    QList<Notification> requests;
};

} // namespace tarnwell::testing
