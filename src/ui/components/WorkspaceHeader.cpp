#include "ui/components/WorkspaceHeader.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

WorkspaceHeader::WorkspaceHeader(const QString& title, SymbolName symbol, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_actions(new QHBoxLayout) {
    m_title->setFont(TarnwellTheme::pageTitleFont());
    m_title->setAccessibleName(title);
    m_actions->setSpacing(8);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::headerIconSize, this));
    layout->addWidget(m_title);
    layout->addStretch(1);
    layout->addLayout(m_actions);
}

QString WorkspaceHeader::title() const {
    return m_title->text();
}

void WorkspaceHeader::addAction(QWidget* action) {
    m_actions->addWidget(action);
}

} // namespace tarnwell
