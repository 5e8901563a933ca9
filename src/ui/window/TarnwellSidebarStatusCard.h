#pragma once

#include <QWidget>

class QLabel;

namespace tarnwell {

// A small rounded card at the foot of the sidebar: "System Status" and the safety summary.
class TarnwellSidebarStatusCard : public QWidget {
    Q_OBJECT

public:
    explicit TarnwellSidebarStatusCard(QWidget* parent = nullptr);

    QString statusText() const;
    void setStatusText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_status;
};

} // namespace tarnwell
