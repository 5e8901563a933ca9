#pragma once

#include <QLabel>

namespace tarnwell {

// A capsule with a rule's status text, or "Disabled" for a disabled rule whatever its status.
class DashboardStatusBadge : public QLabel {
    Q_OBJECT

public:
    explicit DashboardStatusBadge(QWidget* parent = nullptr);

    void setStatus(const QString& title, bool isEnabled);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarnwell
