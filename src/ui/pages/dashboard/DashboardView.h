#pragma once

#include "app/TarnwellContainer.h"
#include "ui/components/WorkspacePage.h"

#include <QPointer>

class QVBoxLayout;

namespace tarnwell {

class DashboardSummaryCard;
class ElidedLabel;

// The first page of the window: the summary cards, one row per storage rule with its mount and
// safe-unmount buttons (or the first steps while there is none), and the latest activity. It shows
// what the dashboard view model publishes and acts only through the container's controller.
class DashboardView : public WorkspacePage {
    Q_OBJECT

public:
    explicit DashboardView(TarnwellContainer* container, QWidget* parent = nullptr);

Q_SIGNALS:
    // The user asked for the Diagnostics page, to see why something needs attention.
    void diagnosticsRequested();

private:
    void render();
    void renderRows();
    void renderEventTime();
    void mountRule(QUuid id);
    void unmountRule(QUuid id);
    static QCoro::Task<> mount(QPointer<TarnwellController> controller, QUuid id);
    static QCoro::Task<> unmount(QPointer<TarnwellController> controller, QUuid id);

    QPointer<TarnwellContainer> m_container;
    QPointer<DashboardViewModel> m_viewModel;
    DashboardSummaryCard* m_targets;
    DashboardSummaryCard* m_runningApps;
    DashboardSummaryCard* m_safety;
    DashboardSummaryCard* m_recentEvent;
    QVBoxLayout* m_rows;
    std::optional<QList<DashboardViewModel::StorageRow>> m_shownRows;
    ElidedLabel* m_activityApps;
    ElidedLabel* m_activityEvent;
    ElidedLabel* m_activityError;
};

} // namespace tarnwell
