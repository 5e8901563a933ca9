#pragma once

#include "ui/components/WorkspacePage.h"

#include <QList>
#include <QPointer>
#include <functional>

namespace tarnwell {

class DiagnosticsLogView;
class DiagnosticsViewModel;
class HealthCheckRow;
class NoticeLabel;
class PrimaryActionButton;
class TarnwellContainer;
class ToggleSwitch;

// The Diagnostics page: one row per health check, run again each time the page is shown and on
// demand, and the live activity log with a failures filter, copying, saving and a report.
class DiagnosticsView : public WorkspacePage {
    Q_OBJECT

public:
    // Asks where to save the log; an empty answer saves nothing.
    using SaveLocation = std::function<QString(QWidget* parent)>;

    explicit DiagnosticsView(TarnwellContainer* container, SaveLocation saveLocation = {},
                             QWidget* parent = nullptr);

    const QList<HealthCheckRow*>& checkRows() const { return m_rows; }
    DiagnosticsLogView* logView() const { return m_log; }
    ToggleSwitch* failuresOnlySwitch() const { return m_failuresOnly; }
    NoticeLabel* notice() const { return m_notice; }

    void copyLog();
    void saveLog();
    void copyReport();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void render();

    QPointer<DiagnosticsViewModel> m_viewModel;
    SaveLocation m_saveLocation;
    PrimaryActionButton* m_runAgain;
    QList<HealthCheckRow*> m_rows;
    DiagnosticsLogView* m_log;
    ToggleSwitch* m_failuresOnly;
    NoticeLabel* m_notice;
};

} // namespace tarnwell
