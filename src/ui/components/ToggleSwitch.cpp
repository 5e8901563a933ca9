#include "ui/components/ToggleSwitch.h"

#include "ui/theme/TarnwellTheme.h"

#include <QPainter>
#include <QSignalBlocker>

namespace tarnwell {

ToggleSwitch::ToggleSwitch(QWidget* parent)
    : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize ToggleSwitch::sizeHint() const {
    return {38, 22};
}

void ToggleSwitch::setStoredValue(bool checked) {
    const QSignalBlocker quiet(this);
    setChecked(checked);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(0, 0, 36, 20).translated(1, (height() - 20) / 2.0);
    QColor fill = isChecked() ? TarnwellTheme::accent(palette()) : TarnwellTheme::secondaryText(palette());
    if (!isChecked()) {
        fill.setAlphaF(0.35f);
    }
    if (!isEnabled()) {
        fill.setAlphaF(fill.alphaF() * 0.5f);
    }
    painter.setPen(hasFocus() ? QPen(TarnwellTheme::accent(palette()), 2) : Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

} // namespace tarnwell
