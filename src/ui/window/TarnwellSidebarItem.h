#pragma once

#include "ui/window/MainWindowSection.h"

#include <QAbstractButton>

namespace tarnwell {

// One sidebar row covering its whole width: the section's icon and title; the selected row has
// a tinted rounded background.
class TarnwellSidebarItem : public QAbstractButton {
    Q_OBJECT

public:
    explicit TarnwellSidebarItem(MainWindowSection section, QWidget* parent = nullptr);

    MainWindowSection section() const { return m_section; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainWindowSection m_section;
};

} // namespace tarnwell
