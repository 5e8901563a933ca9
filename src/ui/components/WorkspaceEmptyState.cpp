#include "ui/components/WorkspaceEmptyState.h"

#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/TarnwellTheme.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

WorkspaceEmptyState::WorkspaceEmptyState(SymbolName symbol, const QString& title, const QString& message,
                                         QWidget* parent)
    : QWidget(parent)
    , m_icon(new SymbolLabel(std::move(symbol), TarnwellTheme::tileIconSize, this))
    , m_title(new QLabel(this))
    , m_message(new QLabel(this)) {
    m_title->setFont(TarnwellTheme::sectionTitleFont());
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    m_message->setFont(TarnwellTheme::bodyFont());
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    TarnwellTheme::makeSecondary(m_message);

    auto* layout = new QVBoxLayout(this);
    const int padding = WorkspaceLayout::panelPadding * 2;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(WorkspaceLayout::rowSpacing);
    layout->addStretch(1);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addWidget(m_title);
    layout->addWidget(m_message);
    layout->addStretch(1);
    setContent(m_icon->symbol(), title, message);
}

QString WorkspaceEmptyState::title() const {
    return m_title->text();
}

QString WorkspaceEmptyState::message() const {
    return m_message->text();
}

void WorkspaceEmptyState::setContent(SymbolName symbol, const QString& title, const QString& message) {
    m_icon->setSymbol(std::move(symbol));
    m_title->setText(title);
    m_message->setText(message);
    setAccessibleName(title);
    setAccessibleDescription(message);
}

void WorkspaceEmptyState::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
