#include "ui/pages/dashboard/DashboardSummaryCard.h"

#include "ui/components/ElidedLabel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/TarnwellTheme.h"

#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

DashboardSummaryCard::DashboardSummaryCard(const QString& title, const QString& caption, SymbolName symbol,
                                           MenuBarViewModel::StatusColorKind tint, Value value,
                                           QWidget* parent)
    : QWidget(parent) {
    QLabel* valueLabel = nullptr;
    if (value == Value::Elided) {
        valueLabel = m_elided = new ElidedLabel({}, this);
    } else {
        valueLabel = m_wrapped = new QLabel(this);
        m_wrapped->setWordWrap(true);
        m_wrapped->setTextFormat(Qt::PlainText);
    }
    auto* icon = new SymbolLabel(std::move(symbol), TarnwellTheme::headerIconSize, this);
    icon->setColorKind(tint);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::font(12, QFont::DemiBold));
    TarnwellTheme::makeSecondary(titleLabel);
    valueLabel->setFont(TarnwellTheme::font(14, QFont::DemiBold));
    auto* captionLabel = new QLabel(caption, this);
    captionLabel->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(captionLabel);

    auto* layout = new QVBoxLayout(this);
    const int padding = WorkspaceLayout::panelPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addWidget(titleLabel);
    layout->addWidget(valueLabel);
    layout->addStretch(1);
    layout->addWidget(captionLabel);
    setAccessibleName(title);
}

QString DashboardSummaryCard::value() const {
    return m_elided ? m_elided->fullText() : m_wrapped->text();
}

void DashboardSummaryCard::setValue(const QString& value) {
    if (m_elided) {
        m_elided->setFullText(value);
    } else {
        m_wrapped->setText(value);
    }
    setAccessibleDescription(value);
}

void DashboardSummaryCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
