#include "ui/pages/dashboard/DashboardStatusBadge.h"

#include "core/support/Localization.h"
#include "ui/theme/TarnwellTheme.h"

#include <QPainter>

namespace tarnwell {

DashboardStatusBadge::DashboardStatusBadge(QWidget* parent)
    : QLabel(parent) {
    setFont(TarnwellTheme::font(11, QFont::DemiBold));
    setContentsMargins(8, 2, 8, 2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DashboardStatusBadge::setStatus(const QString& title, bool isEnabled) {
    setText(isEnabled ? title : localized("Disabled"));
    setAccessibleName(text());
}

void DashboardStatusBadge::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(TarnwellTheme::separator(palette()));
        painter.setBrush(TarnwellTheme::subtleBackground(palette()));
        const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    }
    QLabel::paintEvent(event);
}

} // namespace tarnwell
