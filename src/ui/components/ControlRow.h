#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

// One settings row: icon, title, then the control at the trailing edge. A control without an
// accessible name of its own is named after the row's title.
class ControlRow : public QWidget {
    Q_OBJECT

public:
    ControlRow(SymbolName symbol, const QString& title, QWidget* control, QWidget* parent = nullptr);

    QString title() const;
    QWidget* control() const { return m_control; }

private:
    QLabel* m_title;
    QWidget* m_control;
};

} // namespace tarnwell
