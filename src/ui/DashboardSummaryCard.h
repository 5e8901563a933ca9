#pragma once

#include "app/MenuBarViewModel.h"
#include "ui/SymbolName.h"

#include <QWidget>

namespace tarnwell {

class ElidedLabel;

// A rounded card of the dashboard's summary row: the icon in its tint, the title, the value and a
// caption. The value may be a whole log line, so it is elided with the full text in its tooltip.
class DashboardSummaryCard : public QWidget {
    Q_OBJECT

public:
    DashboardSummaryCard(const QString& title, const QString& caption, SymbolName symbol,
                         MenuBarViewModel::StatusColorKind tint, QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ElidedLabel* m_value;
};

} // namespace tarnwell
