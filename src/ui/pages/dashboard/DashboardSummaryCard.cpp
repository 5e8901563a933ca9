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
    : QWidget(parent)
    , m_icon(new SymbolLabel(std::move(symbol), TarnwellTheme::headerIconSize, this))
    , m_caption(new QLabel(caption, this))
    , m_tint(tint) {
    QLabel* valueLabel = nullptr;
    if (value == Value::Elided) {
        valueLabel = m_elided = new ElidedLabel({}, this);
    } else {
        valueLabel = m_wrapped = new QLabel(this);
        m_wrapped->setWordWrap(true);
        m_wrapped->setTextFormat(Qt::PlainText);
    }
    m_icon->setColorKind(tint);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::font(12, QFont::DemiBold));
    TarnwellTheme::makeSecondary(titleLabel);
    valueLabel->setFont(TarnwellTheme::font(14, QFont::DemiBold));
    m_caption->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(m_caption);

    auto* layout = new QVBoxLayout(this);
    const int padding = WorkspaceLayout::panelPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(6);
    layout->addWidget(m_icon);
    layout->addWidget(titleLabel);
    layout->addWidget(valueLabel);
    layout->addStretch(1);
    layout->addWidget(m_caption);
    setAccessibleName(title);
}

QString DashboardSummaryCard::value() const {
    return m_elided ? m_elided->fullText() : m_wrapped->text();
}

void DashboardSummaryCard::setValue(const QString& value, const QString& toolTip) {
    QLabel* shown = m_elided ? static_cast<QLabel*>(m_elided) : m_wrapped;
    if (m_elided) {
        m_elided->setFullText(value);
    } else {
        m_wrapped->setText(value);
    }
    if (!toolTip.isEmpty()) {
        shown->setToolTip(toolTip);
    }
    setToolTip(toolTip);
    setAccessibleDescription(value + QStringLiteral(", ") + m_caption->text());
}

QString DashboardSummaryCard::caption() const {
    return m_caption->text();
}

void DashboardSummaryCard::setCaption(const QString& caption) {
    m_caption->setText(caption);
    setAccessibleDescription(value() + QStringLiteral(", ") + caption);
}

void DashboardSummaryCard::setSymbol(SymbolName symbol, MenuBarViewModel::StatusColorKind tint) {
    m_tint = tint;
    m_icon->setSymbol(std::move(symbol));
    m_icon->setColorKind(tint);
}

SymbolName DashboardSummaryCard::symbol() const {
    return m_icon->symbol();
}

void DashboardSummaryCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
