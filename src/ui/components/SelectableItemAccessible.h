#pragma once

#include <QAccessibleWidget>

namespace tarnwell {

class SelectableItem;

// What assistive tools see of a selectable row: an item of its list, selectable, saying whether
// it is the selected one, with an action that selects it. Focusing the row selects it too.
class SelectableItemAccessible : public QAccessibleWidget {
public:
    SelectableItemAccessible(QWidget* widget, SelectableItem* item);

    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // Makes Qt build these interfaces for selectable rows and their lists; safe to call again.
    static void install();

private:
    SelectableItem* m_item;
};

} // namespace tarnwell
