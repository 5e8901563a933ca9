#include "ui/components/SelectableList.h"

#include "ui/components/SelectableItemAccessible.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace tarnwell {

SelectableList::SelectableList(QAccessible::Role role, QWidget* parent)
    : QWidget(parent)
    , m_role(role)
    , m_rows(new QVBoxLayout(this)) {
    SelectableItemAccessible::install();
    m_rows->setContentsMargins(0, 0, 0, 0);
}

void SelectableList::addItem(QWidget* item) {
    item->installEventFilter(this);
    m_rows->addWidget(item);
}

bool SelectableList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down) {
        return QWidget::eventFilter(watched, event);
    }
    const int step = key == Qt::Key_Down ? 1 : -1;
    for (int index = m_rows->indexOf(static_cast<QWidget*>(watched)) + step;
         index >= 0 && index < m_rows->count(); index += step) {
        QWidget* next = m_rows->itemAt(index)->widget();
        if (next && next->isVisible() && next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    return true;
}

} // namespace tarnwell
