#include "ui/window/TarnwellSidebarStatusCard.h"

#include "core/support/Localization.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/TarnwellTheme.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>

namespace tarnwell {

TarnwellSidebarStatusCard::TarnwellSidebarStatusCard(QWidget* parent)
    : QAbstractButton(parent)
    , m_icon(new SymbolLabel("checkmark.shield.fill"_symbol, TarnwellTheme::headerIconSize, this))
    , m_status(new QLabel(this)) {
    m_icon->setColorKind(MenuBarViewModel::StatusColorKind::Green);
    auto* caption = new QLabel(localized("System Status"), this);
    caption->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(caption);
    m_status->setFont(TarnwellTheme::font(13, QFont::DemiBold));
    m_status->setWordWrap(true);

    auto* layout = new QGridLayout(this);
    const int padding = WorkspaceLayout::panelPadding - 2;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(2);
    layout->addWidget(m_icon, 0, 0, 2, 1, Qt::AlignVCenter);
    layout->addWidget(caption, 0, 1);
    layout->addWidget(m_status, 1, 1);
    layout->setColumnStretch(1, 1);
    setAccessibleName(caption->text());
    setToolTip(localized("Open Diagnostics"));
    setCursor(Qt::PointingHandCursor);
}

QString TarnwellSidebarStatusCard::statusText() const {
    return m_status->text();
}

void TarnwellSidebarStatusCard::setStatusText(const QString& text) {
    m_status->setText(text);
    setAccessibleDescription(text);
}

void TarnwellSidebarStatusCard::setSymbol(SymbolName symbol, MenuBarViewModel::StatusColorKind tint) {
    m_icon->setSymbol(std::move(symbol));
    m_icon->setColorKind(tint);
}

SymbolName TarnwellSidebarStatusCard::symbol() const {
    return m_icon->symbol();
}

void TarnwellSidebarStatusCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette(), TarnwellTheme::controlRadius);
    if (hasFocus() || isDown()) {
        TarnwellTheme::paintSelection(painter, rect(), palette(), TarnwellTheme::controlRadius);
    }
}

} // namespace tarnwell
