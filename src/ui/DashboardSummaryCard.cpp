#include "ui/DashboardSummaryCard.h"

#include "ui/ElidedLabel.h"
#include "ui/SymbolLabel.h"
#include "ui/TarnwellTheme.h"
#include "ui/WorkspaceLayout.h"

#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

DashboardSummaryCard::DashboardSummaryCard(const QString& title, const QString& caption, SymbolName symbol,
                                           MenuBarViewModel::StatusColorKind tint, QWidget* parent)
    : QWidget(parent)
    , m_value(new ElidedLabel({}, this)) {
    auto* icon = new SymbolLabel(std::move(symbol), TarnwellTheme::headerIconSize, this);
    icon->setColorKind(tint);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::font(12, QFont::DemiBold));
    TarnwellTheme::makeSecondary(titleLabel);
    m_value->setFont(TarnwellTheme::font(14, QFont::DemiBold));
    auto* captionLabel = new QLabel(caption, this);
    captionLabel->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(captionLabel);

    auto* layout = new QVBoxLayout(this);
    const int padding = WorkspaceLayout::panelPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addWidget(titleLabel);
    layout->addWidget(m_value);
    layout->addWidget(captionLabel);
    setAccessibleName(title);
}

QString DashboardSummaryCard::value() const {
    return m_value->fullText();
}

void DashboardSummaryCard::setValue(const QString& value) {
    m_value->setFullText(value);
    setAccessibleDescription(value);
}

void DashboardSummaryCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
