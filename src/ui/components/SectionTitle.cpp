#include "ui/components/SectionTitle.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

SectionTitle::SectionTitle(const QString& title, SymbolName symbol, QWidget* parent)
    : QWidget(parent)
    , m_icon(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize + 2, this))
    , m_title(new QLabel(title, this)) {
    m_title->setFont(TarnwellTheme::sectionTitleFont());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_icon);
    layout->addWidget(m_title, 1);
    setAccessibleName(title);
}

QString SectionTitle::title() const {
    return m_title->text();
}

void SectionTitle::setTitle(const QString& title) {
    m_title->setText(title);
    setAccessibleName(title);
}

} // namespace tarnwell
