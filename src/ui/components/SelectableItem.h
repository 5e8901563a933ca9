#pragma once

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>

class QWidget;

namespace tarnwell {

// A row that stands for one of several choices: a section of the sidebar, a rule, a volume. Its
// widget draws itself; this is what assistive tools are told of it and may do with it.
class SelectableItem {
public:
    virtual ~SelectableItem() = default;

    virtual bool isSelectedItem() const = 0;
    // Makes the item the selected one, as a click on it does.
    virtual void selectItem() = 0;
    virtual QAccessible::Role itemRole() const { return QAccessible::ListItem; }

    // Tells assistive tools that the item's widget was selected or deselected, and keeps only the
    // selected item in the Tab chain, as in a tab list: Tab reaches the selection, the arrow keys
    // move it, and focus moved there by the keyboard or an assistive tool selects the item.
    static void showSelection(QWidget* widget, bool selected);
    // Whether focus that arrived for this reason was asked for by the user, so it selects the item;
    // focus given back to a window or moved on from a widget that went away does not.
    static bool selectsOnFocus(Qt::FocusReason reason) {
        return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
               reason == Qt::OtherFocusReason;
    }

    // For the item widget's focusInEvent(): focus the user moved here selects the item.
    void selectOnFocus(const QFocusEvent& event) {
        if (selectsOnFocus(event.reason()) && !isSelectedItem()) {
            selectItem();
        }
    }
    // For the item widget's keyPressEvent(): Space and Return select the item, as a click does.
    // False when the key is left to the widget.
    bool selectOnKey(const QKeyEvent& event) {
        const int key = event.key();
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) {
            return false;
        }
        selectItem();
        return true;
    }
};

} // namespace tarnwell
