#pragma once

#include "app/MenuBarViewModel.h"
#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class ElidedLabel;

// A rounded card of the dashboard's summary row: the icon in its tint, the title, the value and a
// caption. A short value may wrap onto a second line; a value that is a whole log line is elided
// instead, with the full text in its tooltip.
class DashboardSummaryCard : public QWidget {
    Q_OBJECT

public:
    enum class Value { Wrapped, Elided };

    DashboardSummaryCard(const QString& title, const QString& caption, SymbolName symbol,
                         MenuBarViewModel::StatusColorKind tint, Value value = Value::Wrapped,
                         QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_wrapped = nullptr;
    ElidedLabel* m_elided = nullptr;
};

} // namespace tarnwell
