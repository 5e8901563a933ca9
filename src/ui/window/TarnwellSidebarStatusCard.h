#pragma once

#include "app/MenuBarViewModel.h"
#include "ui/theme/SymbolName.h"

#include <QAbstractButton>

class QLabel;

namespace tarnwell {

class SymbolLabel;

// A small rounded card at the foot of the sidebar: "System Status" and the safety summary. It is a
// button: pressing it leads to the Diagnostics page, where the reasons are.
class TarnwellSidebarStatusCard : public QAbstractButton {
    Q_OBJECT

public:
    explicit TarnwellSidebarStatusCard(QWidget* parent = nullptr);

    QString statusText() const;
    void setStatusText(const QString& text);
    // The shield of "all good", or the warning of anything else, in its colour.
    void setSymbol(SymbolName symbol, MenuBarViewModel::StatusColorKind tint);
    SymbolName symbol() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolLabel* m_icon;
    QLabel* m_status;
};

} // namespace tarnwell
