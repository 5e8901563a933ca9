#include "ui/components/SelectableItemAccessible.h"

#include "ui/components/SelectableItem.h"
#include "ui/components/SelectableList.h"

#include <QWidget>

namespace tarnwell {

namespace {

QAccessibleInterface* selectableInterfaces(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    // Asked once per class up the object's hierarchy; only the first, most derived, answers.
    if (!widget || className != QLatin1String(object->metaObject()->className())) {
        return nullptr;
    }
    if (auto* item = dynamic_cast<SelectableItem*>(widget)) {
        return new SelectableItemAccessible(widget, item);
    }
    if (auto* list = qobject_cast<SelectableList*>(widget)) {
        return new QAccessibleWidget(list, list->role());
    }
    return nullptr;
}

} // namespace

void SelectableItem::showSelection(QWidget* widget, bool selected) {
    widget->setFocusPolicy(selected ? Qt::StrongFocus : Qt::ClickFocus);
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

SelectableItemAccessible::SelectableItemAccessible(QWidget* widget, SelectableItem* item)
    : QAccessibleWidget(widget, item->itemRole())
    , m_item(item) {
}

QAccessible::State SelectableItemAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.selectable = true;
    state.selected = m_item->isSelectedItem();
    return state;
}

QStringList SelectableItemAccessible::actionNames() const {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
}

void SelectableItemAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction()) {
        if (widget()->isEnabled()) {
            m_item->selectItem();
        }
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

void SelectableItemAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(&selectableInterfaces);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace tarnwell
