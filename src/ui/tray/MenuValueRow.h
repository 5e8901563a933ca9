#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

// A panel row: icon, title, and a value in the secondary style at the trailing edge.
class MenuValueRow : public QWidget {
    Q_OBJECT

public:
    MenuValueRow(SymbolName symbol, const QString& title, const QString& value, QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);

private:
    QLabel* m_value;
};

} // namespace tarnwell
