#pragma once

#include "app/MenuBarViewModel.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class SymbolLabel;

// One rule in the panel: its status icon and status text in the status colour, and its title.
class MenuTargetRow : public QWidget {
    Q_OBJECT

public:
    explicit MenuTargetRow(const MenuBarViewModel::TargetRow& row, QWidget* parent = nullptr);

    const MenuBarViewModel::TargetRow& row() const { return m_row; }
    void setRow(const MenuBarViewModel::TargetRow& row);

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();

    MenuBarViewModel::TargetRow m_row;
    SymbolLabel* m_icon;
    QLabel* m_title;
    QLabel* m_status;
};

} // namespace tarnwell
