#pragma once

#include "ui/components/SelectableItem.h"
#include "ui/window/MainWindowSection.h"

#include <QAbstractButton>

namespace tarnwell {

// One sidebar row covering its whole width: the section's icon and title; the selected row has
// a tinted rounded background. Assistive tools see it as a tab of the sidebar's tab list.
class TarnwellSidebarItem : public QAbstractButton, public SelectableItem {
    Q_OBJECT

public:
    explicit TarnwellSidebarItem(MainWindowSection section, QWidget* parent = nullptr);

    MainWindowSection section() const { return m_section; }
    QSize sizeHint() const override;

    bool isSelectedItem() const override { return isChecked(); }
    void selectItem() override { click(); }
    QAccessible::Role itemRole() const override { return QAccessible::PageTab; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    MainWindowSection m_section;
};

} // namespace tarnwell
