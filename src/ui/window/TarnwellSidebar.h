#pragma once

#include "ui/window/MainWindowSection.h"

#include <QList>
#include <QWidget>

namespace tarnwell {

class TarnwellSidebarItem;
class TarnwellSidebarStatusCard;

// The column of section rows with the status card at its foot. The arrow keys move the selection
// between rows.
class TarnwellSidebar : public QWidget {
    Q_OBJECT

public:
    explicit TarnwellSidebar(QWidget* parent = nullptr);

    MainWindowSection selectedSection() const { return m_selected; }
    void setSelectedSection(MainWindowSection section);
    TarnwellSidebarItem* item(MainWindowSection section) const;
    TarnwellSidebarStatusCard* statusCard() const { return m_statusCard; }

Q_SIGNALS:
    void sectionSelected(tarnwell::MainWindowSection section);

private:
    QList<TarnwellSidebarItem*> m_items;
    TarnwellSidebarStatusCard* m_statusCard;
    MainWindowSection m_selected = MainWindowSection::Dashboard;
};

} // namespace tarnwell
