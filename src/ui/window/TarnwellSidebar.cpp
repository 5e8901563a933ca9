#include "ui/window/TarnwellSidebar.h"

#include "ui/components/WorkspaceLayout.h"
#include "ui/window/TarnwellSidebarItem.h"
#include "ui/window/TarnwellSidebarStatusCard.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace tarnwell {

TarnwellSidebar::TarnwellSidebar(QWidget* parent)
    : QWidget(parent)
    , m_statusCard(new TarnwellSidebarStatusCard(this)) {
    setFixedWidth(WorkspaceLayout::sidebarWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, WorkspaceLayout::pageTopPadding, 10, 14);
    layout->setSpacing(4);
    for (MainWindowSection section : allMainWindowSections()) {
        auto* item = new TarnwellSidebarItem(section, this);
        item->installEventFilter(this);
        connect(item, &QAbstractButton::clicked, this, [this, section] {
            setSelectedSection(section);
            Q_EMIT sectionSelected(section);
        });
        layout->addWidget(item);
        m_items.append(item);
    }
    layout->addStretch(1);
    layout->addWidget(m_statusCard);
    setSelectedSection(m_selected);
}

void TarnwellSidebar::setSelectedSection(MainWindowSection section) {
    m_selected = section;
    for (TarnwellSidebarItem* item : m_items) {
        item->setChecked(item->section() == section);
    }
}

TarnwellSidebarItem* TarnwellSidebar::item(MainWindowSection section) const {
    for (TarnwellSidebarItem* item : m_items) {
        if (item->section() == section) {
            return item;
        }
    }
    return nullptr;
}

bool TarnwellSidebar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down) {
        return QWidget::eventFilter(watched, event);
    }
    const auto index = m_items.indexOf(static_cast<TarnwellSidebarItem*>(watched));
    const auto next = index + (key == Qt::Key_Down ? 1 : -1);
    if (index < 0 || next < 0 || next >= m_items.size()) {
        return true;
    }
    TarnwellSidebarItem* target = m_items[next];
    target->setFocus(Qt::TabFocusReason);
    target->click();
    return true;
}

} // namespace tarnwell
