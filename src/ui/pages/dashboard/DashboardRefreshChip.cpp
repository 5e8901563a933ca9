#include "ui/pages/dashboard/DashboardRefreshChip.h"

#include "core/support/Localization.h"
#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <chrono>

namespace tarnwell {

DashboardRefreshChip::DashboardRefreshChip(DashboardViewModel* viewModel, QWidget* parent)
    : SettingsPanel(parent)
    , m_viewModel(viewModel)
    , m_updated(new QLabel) {
    contentLayout()->setContentsMargins(10, 4, 10, 4);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addWidget(new SymbolLabel("arrow.clockwise"_symbol, TarnwellTheme::rowIconSize));
    auto* title = new QLabel(localized("Auto Refresh"));
    title->setFont(TarnwellTheme::font(12, QFont::DemiBold));
    m_updated->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(m_updated);
    line->addWidget(title);
    line->addWidget(m_updated);
    contentLayout()->addLayout(line);

    // The text counts minutes, so it is brought up to date well within each one.
    m_tick.setInterval(std::chrono::seconds(15));
    connect(&m_tick, &QTimer::timeout, this, &DashboardRefreshChip::render);
    m_tick.start();
    if (m_viewModel) {
        connect(m_viewModel, &DashboardViewModel::statusCheckedAtChanged, this,
                &DashboardRefreshChip::render);
    }
    render();
}

QString DashboardRefreshChip::updatedText() const {
    return m_updated->text();
}

void DashboardRefreshChip::render() {
    m_updated->setText(m_viewModel ? m_viewModel->statusCheckedText(QDateTime::currentDateTime())
                                   : QString());
}

} // namespace tarnwell
