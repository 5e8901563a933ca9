#include "ui/pages/dashboard/DashboardStorageRuleRow.h"

#include "core/support/Localization.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/pages/dashboard/DashboardComponents.h"
#include "ui/pages/dashboard/DashboardStatusBadge.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwell {

DashboardStorageRuleRow::DashboardStorageRuleRow(const DashboardViewModel::StorageRow& row, QWidget* parent)
    : QWidget(parent)
    , m_icon(new SymbolLabel("externaldrive.fill"_symbol, TarnwellTheme::tileIconSize, this))
    , m_title(new ElidedLabel({}, this))
    , m_badge(new DashboardStatusBadge(this))
    , m_detail(new ElidedLabel({}, this))
    , m_apps(new ElidedLabel({}, this))
    , m_policy(new ElidedLabel({}, this))
    , m_mount(
          DashboardComponents::ruleActionButton("externaldrive.badge.plus"_symbol, localized("Mount Now")))
    , m_unmount(DashboardComponents::ruleActionButton("eject"_symbol, localized("Unmount Safely"))) {
    m_icon->setTiled(true);
    m_title->setFont(TarnwellTheme::font(14, QFont::DemiBold));
    m_detail->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(m_detail);
    m_apps->setFont(TarnwellTheme::captionFont());
    m_policy->setFont(TarnwellTheme::captionFont());

    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(m_title, 1);
    heading->addWidget(m_badge);
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addLayout(heading);
    text->addWidget(m_detail);
    text->addWidget(DashboardComponents::iconLine("square.grid.2x2"_symbol, m_apps));
    text->addWidget(DashboardComponents::iconLine("checkmark.shield"_symbol, m_policy));
    auto* actions = new QVBoxLayout;
    actions->setSpacing(6);
    actions->addWidget(m_mount);
    actions->addWidget(m_unmount);
    actions->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    const int padding = WorkspaceLayout::panelPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(12);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    layout->addLayout(actions);

    connect(m_mount, &QPushButton::clicked, this, [this] { Q_EMIT mountRequested(m_row.id); });
    connect(m_unmount, &QPushButton::clicked, this, [this] { Q_EMIT unmountRequested(m_row.id); });
    m_row.id = row.id;
    setRow(row);
}

void DashboardStorageRuleRow::setRow(const DashboardViewModel::StorageRow& row) {
    m_row = row;
    m_icon->setSymbol(row.isEnabled ? "externaldrive.fill"_symbol : "externaldrive"_symbol);
    m_icon->setColorKind(row.isEnabled ? MenuBarViewModel::StatusColorKind::Accent
                                       : MenuBarViewModel::StatusColorKind::Secondary);
    m_title->setFullText(row.title);
    m_badge->setStatus(row.statusTitle, row.isEnabled);
    m_detail->setFullText(row.detail);
    m_apps->setFullText(row.appSummary);
    m_policy->setFullText(row.policySummary);
    m_mount->setEnabled(row.canMount);
    m_unmount->setEnabled(row.canUnmount);
    setAccessibleName(row.title);
    m_mount->setAccessibleName(localizedFormat("Mount %@ Now", {row.title}));
    m_unmount->setAccessibleName(localizedFormat("Unmount %@ Safely", {row.title}));
}

void DashboardStorageRuleRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
