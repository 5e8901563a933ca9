#include "ui/window/TarnwellSidebarItem.h"

#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QFocusEvent>
#include <QPainter>

namespace tarnwell {

TarnwellSidebarItem::TarnwellSidebarItem(MainWindowSection section, QWidget* parent)
    : QAbstractButton(parent)
    , m_section(section) {
    setCheckable(true);
    setText(mainWindowSectionTitle(section));
    setAccessibleName(text());
    setFont(TarnwellTheme::sectionTitleFont());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::toggled, this, [this](bool checked) { showSelection(this, checked); });
    showSelection(this, false);
}

void TarnwellSidebarItem::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    selectOnFocus(*event);
}

QSize TarnwellSidebarItem::sizeHint() const {
    return {160, qMax(34, fontMetrics().height() + 14)};
}

void TarnwellSidebarItem::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isChecked()) {
        TarnwellTheme::paintSelection(painter, area, palette());
    } else if (underMouse()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(TarnwellTheme::subtleBackground(palette()));
        painter.drawRoundedRect(area, TarnwellTheme::controlRadius, TarnwellTheme::controlRadius);
    }
    if (hasFocus()) {
        painter.setPen(QPen(TarnwellTheme::accent(palette()), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(area, TarnwellTheme::controlRadius, TarnwellTheme::controlRadius);
    }
    const int iconSize = TarnwellTheme::rowIconSize + 2;
    const QRect iconRect(10, (height() - iconSize) / 2, iconSize, iconSize);
    const QColor iconColor =
        isChecked() ? TarnwellTheme::accent(palette()) : palette().color(QPalette::WindowText);
    painter.drawPixmap(iconRect, SymbolIcons::tinted(mainWindowSectionSymbol(m_section), iconSize, iconColor,
                                                     devicePixelRatioF()));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QRect textRect = rect().adjusted(iconRect.right() + 10, 0, -8, 0);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

} // namespace tarnwell
