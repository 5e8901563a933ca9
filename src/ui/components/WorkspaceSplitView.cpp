#include "ui/components/WorkspaceSplitView.h"

#include "ui/components/WorkspaceLayout.h"

#include <QHBoxLayout>

namespace tarnwell {

WorkspaceSplitView::WorkspaceSplitView(QWidget* leading, QWidget* detail, QWidget* parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(WorkspaceLayout::sectionSpacing);
    replace(m_leading, leading ? leading : new QWidget, 0);
    replace(m_detail, detail ? detail : new QWidget, 1);
}

void WorkspaceSplitView::setLeading(QWidget* leading) {
    replace(m_leading, leading, 0);
}

void WorkspaceSplitView::setDetail(QWidget* detail) {
    replace(m_detail, detail, 1);
}

void WorkspaceSplitView::replace(QWidget*& slot, QWidget* widget, int index) {
    if (slot == widget) {
        return;
    }
    if (slot) {
        m_layout->removeWidget(slot);
        slot->deleteLater();
        slot->hide();
    }
    slot = widget;
    if (index == 0) {
        widget->setFixedWidth(WorkspaceLayout::splitLeadingWidth);
        m_layout->insertWidget(0, widget, 0, Qt::AlignTop);
    } else {
        m_layout->insertWidget(1, widget, 1);
    }
    widget->show();
}

} // namespace tarnwell
