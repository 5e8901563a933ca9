#include "ui/pages/settings/SettingsInfoRow.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

SettingsInfoRow::SettingsInfoRow(SymbolName symbol, const QString& title, const QString& value,
                                 QWidget* parent)
    : QWidget(parent) {
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::bodyFont());
    // The value is a sentence: it wraps rather than pushing the title out of the row.
    auto* valueLabel = new QLabel(value, this);
    valueLabel->setFont(TarnwellTheme::bodyFont());
    valueLabel->setWordWrap(true);
    valueLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TarnwellTheme::makeSecondary(valueLabel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(10);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize, this));
    layout->addWidget(titleLabel);
    layout->addWidget(valueLabel, 1);
}

} // namespace tarnwell
