#include "ui/components/PrimaryActionButton.h"

#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QPainter>
#include <QTimer>

namespace tarnwell {

PrimaryActionButton::PrimaryActionButton(const QString& title, SymbolName symbol, bool prominent,
                                         QWidget* parent)
    : QPushButton(title, parent)
    , m_symbol(std::move(symbol))
    , m_prominent(prominent) {
    setAccessibleName(title);
    setFont(TarnwellTheme::font(12, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumHeight(32);
    setAttribute(Qt::WA_Hover);
}

void PrimaryActionButton::playTapFeedback() {
    setFeedbackShown(true);
    // A second press restarts the moment; only the newest timer ends it.
    const int generation = ++m_feedbackGeneration;
    QTimer::singleShot(feedbackMilliseconds, this, [this, generation] {
        if (generation == m_feedbackGeneration) {
            setFeedbackShown(false);
        }
    });
}

void PrimaryActionButton::setFeedbackShown(bool shown) {
    if (shown == m_feedbackShown) {
        return;
    }
    m_feedbackShown = shown;
    update();
    Q_EMIT feedbackShownChanged(shown);
}

void PrimaryActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool pressed = isDown() || m_feedbackShown;
    QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (pressed) {
        // Slightly scaled down while pressed.
        area = area.adjusted(area.width() * 0.02, area.height() * 0.04, -area.width() * 0.02,
                             -area.height() * 0.04);
    }
    const QColor accent = TarnwellTheme::accent(palette());
    QColor fill = m_prominent ? accent : TarnwellTheme::subtleBackground(palette());
    QColor textColor =
        m_prominent ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::ButtonText);
    if (pressed) {
        fill = m_prominent ? accent.darker(118) : TarnwellTheme::selectedFill(palette());
    } else if (underMouse() && isEnabled()) {
        fill = m_prominent ? accent.lighter(108) : TarnwellTheme::rowBackground(palette()).lighter(110);
    }
    const bool drawnProminent = m_prominent && isEnabled();
    if (!isEnabled()) {
        // A paler accent still reads as a button to press, above all on a dark background: a
        // disabled button loses the accent and takes the palette's disabled text.
        fill = TarnwellTheme::subtleBackground(palette());
        fill.setAlphaF(fill.alphaF() * 0.4f);
        const QColor disabledText = palette().color(QPalette::Disabled, QPalette::ButtonText);
        textColor = palette().color(QPalette::ButtonText);
        if (disabledText != textColor) {
            textColor = disabledText;
        } else {
            textColor.setAlphaF(0.45f);
        }
    }
    const QPen border =
        hasFocus() ? QPen(drawnProminent ? palette().color(QPalette::Text) : accent, 1.5)
                   : QPen(drawnProminent ? Qt::transparent : TarnwellTheme::separator(palette()).darker(130));
    painter.setPen(border);
    painter.setBrush(fill);
    painter.drawRoundedRect(area, TarnwellTheme::controlRadius - 3, TarnwellTheme::controlRadius - 3);

    const int iconSize = TarnwellTheme::rowIconSize;
    const QFontMetrics metrics(font());
    const int available = int(area.width()) - iconSize - 5 - 8;
    const QString label = metrics.elidedText(text(), Qt::ElideRight, available);
    const int contentWidth = iconSize + 5 + metrics.horizontalAdvance(label);
    const int left = int(area.center().x()) - contentWidth / 2;
    const QRect iconRect(left, int(area.center().y()) - iconSize / 2, iconSize, iconSize);
    painter.drawPixmap(iconRect, SymbolIcons::tinted(m_symbol, iconSize, textColor, devicePixelRatioF()));
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(QRect(iconRect.right() + 6, int(area.top()), contentWidth, int(area.height())),
                     Qt::AlignVCenter | Qt::AlignLeft, label);
}

} // namespace tarnwell
