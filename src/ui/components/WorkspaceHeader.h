#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace tarnwell {

// One row: icon and title at the leading edge, the actions at the trailing edge.
class WorkspaceHeader : public QWidget {
    Q_OBJECT

public:
    WorkspaceHeader(const QString& title, SymbolName symbol, QWidget* parent = nullptr);

    QString title() const;
    // Actions are laid out left to right in the order they are added.
    void addAction(QWidget* action);

private:
    QLabel* m_title;
    QHBoxLayout* m_actions;
};

} // namespace tarnwell
