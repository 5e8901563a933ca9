#include "core/diagnostics/HealthCheck.h"

#include "core/support/Localization.h"

#include <QStringList>

namespace tarnwell {

QString HealthCheck::stateText(HealthState state) {
    switch (state) {
    case HealthState::Fine:
        return localized("fine");
    case HealthState::NeedsAttention:
        return localized("needs attention");
    case HealthState::NotWorking:
        return localized("not working");
    }
    return {};
}

QString HealthCheck::reportText() const {
    QStringList lines{title + QStringLiteral(": ") + stateText(state), QStringLiteral("  ") + finding};
    if (!advice.isEmpty()) {
        lines.append(QStringLiteral("  ") + advice);
    }
    for (const QString& line : details.split(u'\n', Qt::SkipEmptyParts)) {
        lines.append(QStringLiteral("    ") + line);
    }
    return lines.join(u'\n');
}

} // namespace tarnwell
