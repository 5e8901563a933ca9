#include "ui/window/TarnwellSidebar.h"

#include "core/support/Localization.h"
#include "ui/components/SelectableList.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/window/TarnwellSidebarItem.h"
#include "ui/window/TarnwellSidebarStatusCard.h"

#include <QVBoxLayout>

namespace tarnwell {

TarnwellSidebar::TarnwellSidebar(QWidget* parent)
    : QWidget(parent)
    , m_statusCard(new TarnwellSidebarStatusCard(this)) {
    setFixedWidth(WorkspaceLayout::sidebarWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, WorkspaceLayout::pageTopPadding, 10, 14);
    layout->setSpacing(4);
    auto* sections = new SelectableList(QAccessible::PageTabList, this);
    sections->setAccessibleName(localized("Sections"));
    sections->rows()->setSpacing(4);
    for (MainWindowSection section : allMainWindowSections()) {
        auto* item = new TarnwellSidebarItem(section, sections);
        connect(item, &QAbstractButton::clicked, this, [this, section] {
            setSelectedSection(section);
            Q_EMIT sectionSelected(section);
        });
        sections->addItem(item);
        m_items.append(item);
    }
    layout->addWidget(sections);
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

} // namespace tarnwell
