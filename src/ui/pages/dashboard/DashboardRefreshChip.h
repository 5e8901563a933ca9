#pragma once

#include "app/DashboardViewModel.h"
#include "ui/components/SettingsPanel.h"

#include <QPointer>
#include <QTimer>

class QLabel;

namespace tarnwell {

// The dashboard's "Auto Refresh" chip: when the drives were last read, kept current as the
// minutes pass and as the drives are read again.
class DashboardRefreshChip : public SettingsPanel {
    Q_OBJECT

public:
    explicit DashboardRefreshChip(DashboardViewModel* viewModel, QWidget* parent = nullptr);

    QString updatedText() const;

private:
    void render();

    QPointer<DashboardViewModel> m_viewModel;
    QLabel* m_updated;
    QTimer m_tick;
};

} // namespace tarnwell
