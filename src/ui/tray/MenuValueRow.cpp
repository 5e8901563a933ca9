#include "ui/tray/MenuValueRow.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

MenuValueRow::MenuValueRow(SymbolName symbol, const QString& title, const QString& value, QWidget* parent)
    : QWidget(parent)
    , m_value(new QLabel(this)) {
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::bodyFont());
    m_value->setFont(TarnwellTheme::bodyFont());
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TarnwellTheme::makeSecondary(m_value);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize, this));
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    layout->addWidget(m_value);
    setAccessibleName(title);
    setValue(value);
}

QString MenuValueRow::value() const {
    return m_value->text();
}

void MenuValueRow::setValue(const QString& value) {
    m_value->setText(value);
    setAccessibleDescription(value);
}

} // namespace tarnwell
