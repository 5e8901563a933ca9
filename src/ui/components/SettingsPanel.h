#pragma once

#include <QWidget>

class QVBoxLayout;

namespace tarnwell {

// Content padded inside a rounded panel; rows are stacked with the row spacing.
class SettingsPanel : public QWidget {
    Q_OBJECT

public:
    explicit SettingsPanel(QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_layout; }
    void addWidget(QWidget* widget, int stretch = 0);
    // A hairline between two groups of rows.
    void addSeparator();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_layout;
};

} // namespace tarnwell
