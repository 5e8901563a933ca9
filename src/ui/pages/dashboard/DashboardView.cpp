#include "ui/pages/dashboard/DashboardView.h"

#include "core/support/Localization.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/pages/dashboard/DashboardComponents.h"
#include "ui/pages/dashboard/DashboardRefreshChip.h"
#include "ui/pages/dashboard/DashboardStorageRuleRow.h"
#include "ui/pages/dashboard/DashboardSummaryCard.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

using ColorKind = MenuBarViewModel::StatusColorKind;

} // namespace

DashboardView::DashboardView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Dashboard"), "gauge.with.dots.needle.bottom.50percent"_symbol, parent)
    , m_container(container)
    , m_viewModel(container->dashboardViewModel())
    , m_targets(new DashboardSummaryCard(localized("Target Drives"), localized("Normal operation"),
                                         "externaldrive.fill"_symbol, ColorKind::Accent))
    , m_runningApps(new DashboardSummaryCard(localized("Running Apps"), localized("Good status"),
                                             "square.grid.2x2.fill"_symbol, ColorKind::Accent))
    , m_safety(new DashboardSummaryCard(localized("Safety"), localized("No risk detected"),
                                        "checkmark.shield.fill"_symbol, ColorKind::Green))
    , m_recentEvent(new DashboardSummaryCard(localized("Recent Event"), localized("Latest Event"),
                                             "clock.fill"_symbol, ColorKind::Orange,
                                             DashboardSummaryCard::Value::Elided))
    , m_rows(new QVBoxLayout)
    , m_activityApps(new ElidedLabel)
    , m_activityEvent(new ElidedLabel)
    , m_activityError(new ElidedLabel) {
    addHeaderAction(new DashboardRefreshChip(m_viewModel));

    auto* summary = new QWidget;
    auto* cards = new QHBoxLayout(summary);
    cards->setContentsMargins(0, 0, 0, 0);
    cards->setSpacing(12);
    for (DashboardSummaryCard* card : {m_targets, m_runningApps, m_safety, m_recentEvent}) {
        cards->addWidget(card, 1);
    }
    addContent(summary);

    auto* storage = new QWidget;
    auto* storageLayout = new QVBoxLayout(storage);
    storageLayout->setContentsMargins(0, 0, 0, 0);
    storageLayout->setSpacing(10);
    storageLayout->addWidget(
        new SectionTitle(localized("Storage Rules"), "externaldrive.connected.to.line.below"_symbol));
    m_rows->setSpacing(WorkspaceLayout::rowSpacing);
    storageLayout->addLayout(m_rows);
    addContent(storage);

    auto* activity = new SettingsPanel;
    activity->addWidget(DashboardComponents::sectionHeader(localized("Activity and Diagnostics"),
                                                           "waveform.path.ecg"_symbol));
    activity->addWidget(
        DashboardComponents::factRow("square.grid.2x2"_symbol, localized("Running Apps"), m_activityApps));
    activity->addSeparator();
    activity->addWidget(DashboardComponents::factRow("clock.arrow.circlepath"_symbol,
                                                     localized("Recent Event"), m_activityEvent));
    activity->addSeparator();
    activity->addWidget(DashboardComponents::factRow("exclamationmark.triangle"_symbol,
                                                     localized("Recent Error"), m_activityError));
    auto* diagnostics = new PrimaryActionButton(localized("Open Diagnostics"), "stethoscope"_symbol, false);
    diagnostics->setToolTip(localized("Health checks and the whole activity log"));
    connect(diagnostics, &QPushButton::clicked, this, &DashboardView::diagnosticsRequested);
    activity->addWidget(diagnostics, 0);
    activity->contentLayout()->setAlignment(diagnostics, Qt::AlignLeft);
    addContent(activity);
    contentLayout()->addStretch(1);

    connect(m_viewModel, &DashboardViewModel::presentationChanged, this, &DashboardView::render);
    // "2 min ago" grows older with nothing published.
    auto* clock = new QTimer(this);
    clock->setInterval(std::chrono::seconds(30));
    connect(clock, &QTimer::timeout, this, &DashboardView::renderEventTime);
    clock->start();
    render();
}

void DashboardView::render() {
    if (!m_viewModel) {
        return;
    }
    m_targets->setValue(m_viewModel->targetSummary());
    m_runningApps->setValue(m_viewModel->runningAppsSummary());
    m_safety->setValue(m_viewModel->safetySummary());
    m_safety->setCaption(m_viewModel->safetyCaption());
    m_safety->setSymbol(SymbolName{m_viewModel->safetyIcon()}, m_viewModel->safetyColorKind());
    m_recentEvent->setValue(m_viewModel->recentEventMessage(), m_viewModel->recentEventText());
    renderEventTime();
    m_activityApps->setFullText(m_viewModel->runningAppsSummary());
    m_activityEvent->setFullText(m_viewModel->recentEventText());
    m_activityError->setFullText(m_viewModel->recentErrorText());
    renderRows();
}

void DashboardView::renderEventTime() {
    const std::optional<QDateTime> moment = m_viewModel ? m_viewModel->recentEventTime() : std::nullopt;
    m_recentEvent->setCaption(moment
                                  ? DashboardViewModel::relativeTime(*moment, QDateTime::currentDateTimeUtc())
                                  : localized("Latest Event"));
}

void DashboardView::renderRows() {
    const QList<DashboardViewModel::StorageRow> rows = m_viewModel->storageRows();
    if (m_shownRows == rows) {
        return;
    }
    QList<DashboardStorageRuleRow*> existing;
    for (int index = 0; index < m_rows->count(); ++index) {
        existing.append(qobject_cast<DashboardStorageRuleRow*>(m_rows->itemAt(index)->widget()));
    }
    // Rows of the same rules in the same order are updated in place, so a status change, which is
    // the common case, neither rebuilds the page nor moves keyboard focus.
    const bool sameRules =
        !rows.isEmpty() && existing.size() == rows.size() &&
        std::equal(rows.begin(), rows.end(), existing.begin(),
                   [](const DashboardViewModel::StorageRow& row, DashboardStorageRuleRow* shown) {
                       return shown && shown->row().id == row.id;
                   });
    m_shownRows = rows;
    if (sameRules) {
        for (qsizetype index = 0; index < rows.size(); ++index) {
            existing[index]->setRow(rows[index]);
        }
        return;
    }
    // A button may be emitting the signal that led here, so old widgets go once control returns.
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    if (rows.isEmpty()) {
        m_rows->addWidget(DashboardComponents::onboardingEmptyState(m_viewModel->onboardingSteps()));
        return;
    }
    for (const DashboardViewModel::StorageRow& row : rows) {
        auto* shown = new DashboardStorageRuleRow(row);
        connect(shown, &DashboardStorageRuleRow::mountRequested, this, &DashboardView::mountRule);
        connect(shown, &DashboardStorageRuleRow::unmountRequested, this, &DashboardView::unmountRule);
        m_rows->addWidget(shown);
    }
}

void DashboardView::mountRule(QUuid id) {
    if (m_container) {
        startDetached(mount(m_container->controller(), id), "Mounting a rule's drive");
    }
}

void DashboardView::unmountRule(QUuid id) {
    if (m_container) {
        startDetached(unmount(m_container->controller(), id), "Unmounting a rule's drive");
    }
}

QCoro::Task<> DashboardView::mount(QPointer<TarnwellController> controller, QUuid id) {
    if (controller) {
        co_await controller->mountRule(id);
    }
}

QCoro::Task<> DashboardView::unmount(QPointer<TarnwellController> controller, QUuid id) {
    if (controller) {
        co_await controller->unmountRuleSafely(id);
    }
}

} // namespace tarnwell
