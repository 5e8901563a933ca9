#pragma once

#include "app/MenuBarViewModel.h"
#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class ElidedLabel;
class SymbolLabel;

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
    // The tooltip, when given, replaces the value's own (which is the whole value).
    void setValue(const QString& value, const QString& toolTip = {});
    QString caption() const;
    void setCaption(const QString& caption);
    // What the card's symbol shows and in which colour.
    void setSymbol(SymbolName symbol, MenuBarViewModel::StatusColorKind tint);
    SymbolName symbol() const;
    MenuBarViewModel::StatusColorKind tint() const { return m_tint; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolLabel* m_icon;
    QLabel* m_caption;
    MenuBarViewModel::StatusColorKind m_tint;
    QLabel* m_wrapped = nullptr;
    ElidedLabel* m_elided = nullptr;
};

} // namespace tarnwell
