#pragma once

#include "app/DashboardViewModel.h"

#include <QWidget>

class QPushButton;

namespace tarnwell {

class DashboardStatusBadge;
class ElidedLabel;
class SymbolLabel;

// One storage rule on the dashboard: its drive, status, bound applications and policy, with the
// one-click mount and safe-unmount buttons, each offered only when the row allows it.
class DashboardStorageRuleRow : public QWidget {
    Q_OBJECT

public:
    explicit DashboardStorageRuleRow(const DashboardViewModel::StorageRow& row, QWidget* parent = nullptr);

    const DashboardViewModel::StorageRow& row() const { return m_row; }
    void setRow(const DashboardViewModel::StorageRow& row);
    QPushButton* mountButton() const { return m_mount; }
    QPushButton* unmountButton() const { return m_unmount; }

Q_SIGNALS:
    void mountRequested(QUuid id);
    void unmountRequested(QUuid id);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DashboardViewModel::StorageRow m_row;
    SymbolLabel* m_icon;
    ElidedLabel* m_title;
    DashboardStatusBadge* m_badge;
    ElidedLabel* m_detail;
    ElidedLabel* m_apps;
    ElidedLabel* m_policy;
    QPushButton* m_mount;
    QPushButton* m_unmount;
};

} // namespace tarnwell
