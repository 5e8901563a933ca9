#pragma once

#include <QAccessible>
#include <QWidget>

class QVBoxLayout;

namespace tarnwell {

// A column of selectable rows, which assistive tools see as a list (or a tab list) whose children
// are its items. Up and Down move the focus, and so the selection, to the row above or below.
class SelectableList : public QWidget {
    Q_OBJECT

public:
    explicit SelectableList(QAccessible::Role role = QAccessible::List, QWidget* parent = nullptr);

    QAccessible::Role role() const { return m_role; }
    QVBoxLayout* rows() const { return m_rows; }
    // Adds a row at the end; it should be a SelectableItem.
    void addItem(QWidget* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAccessible::Role m_role;
    QVBoxLayout* m_rows;
};

} // namespace tarnwell
