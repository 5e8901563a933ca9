#include "ui/pages/dashboard/DashboardComponents.h"

#include "core/support/Localization.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace tarnwell {

QWidget* DashboardComponents::sectionHeader(const QString& title, SymbolName symbol) {
    return new SectionTitle(title, std::move(symbol));
}

QWidget* DashboardComponents::factRow(SymbolName symbol, const QString& title, ElidedLabel* value) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(10);
    auto* titleLabel = new QLabel(title, row);
    titleLabel->setFont(TarnwellTheme::bodyFont());
    value->setFont(TarnwellTheme::bodyFont());
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TarnwellTheme::makeSecondary(value);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize, row));
    layout->addWidget(titleLabel);
    layout->addWidget(value, 1);
    return row;
}

QPushButton* DashboardComponents::ruleActionButton(SymbolName symbol, const QString& title) {
    auto* button = new QPushButton(SymbolIcons::icon(symbol), title);
    button->setFont(TarnwellTheme::font(12));
    button->setIconSize(QSize(TarnwellTheme::rowIconSize, TarnwellTheme::rowIconSize));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QWidget* DashboardComponents::onboardingEmptyState(const QList<DashboardViewModel::OnboardingStep>& steps) {
    auto* card = new SettingsPanel;
    card->setAccessibleName(localized("Get Started"));
    card->addWidget(new SectionTitle(localized("Get Started"), "sparkles"_symbol));
    for (const DashboardViewModel::OnboardingStep& step : steps) {
        auto* text = new ElidedLabel(step.title);
        text->setFont(TarnwellTheme::bodyFont());
        card->addWidget(iconLine(SymbolName{step.systemImage}, text));
    }
    return card;
}

QWidget* DashboardComponents::iconLine(SymbolName symbol, ElidedLabel* text) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize, line));
    layout->addWidget(text, 1);
    return line;
}

} // namespace tarnwell
