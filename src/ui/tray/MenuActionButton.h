#pragma once

#include "ui/theme/SymbolName.h"

#include <QAbstractButton>

namespace tarnwell {

// A full-width plain button of the panel: icon and title on a subtle rounded background.
class MenuActionButton : public QAbstractButton {
    Q_OBJECT

public:
    MenuActionButton(const QString& title, SymbolName symbol, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolName m_symbol;
};

} // namespace tarnwell
