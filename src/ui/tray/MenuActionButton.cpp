#include "ui/tray/MenuActionButton.h"

#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QPainter>

namespace tarnwell {

MenuActionButton::MenuActionButton(const QString& title, SymbolName symbol, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(std::move(symbol)) {
    setText(title);
    setAccessibleName(title);
    setFont(TarnwellTheme::bodyFont());
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

QSize MenuActionButton::sizeHint() const {
    return {200, qMax(30, fontMetrics().height() + 14)};
}

void MenuActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = TarnwellTheme::subtleBackground(palette());
    if (isDown()) {
        fill = TarnwellTheme::selectedFill(palette());
    } else if (underMouse()) {
        fill.setAlphaF(qMin(1.0f, fill.alphaF() * 2.2f));
    }
    painter.setPen(hasFocus() ? QPen(TarnwellTheme::accent(palette()), 1.5)
                              : QPen(TarnwellTheme::separator(palette())));
    painter.setBrush(fill);
    painter.drawRoundedRect(area, TarnwellTheme::controlRadius - 2, TarnwellTheme::controlRadius - 2);
    const int iconSize = TarnwellTheme::rowIconSize;
    const QRect iconRect(10, (height() - iconSize) / 2, iconSize, iconSize);
    painter.drawPixmap(
        iconRect,
        SymbolIcons::tinted(m_symbol, iconSize, palette().color(QPalette::WindowText), devicePixelRatioF()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect = rect().adjusted(iconRect.right() + 9, 0, -8, 0);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

} // namespace tarnwell
