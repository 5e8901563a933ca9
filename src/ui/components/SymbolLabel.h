#pragma once

#include "app/MenuBarViewModel.h"
#include "ui/theme/SymbolName.h"

#include <QLabel>
#include <optional>

namespace tarnwell {

// A symbol drawn at a fixed size, either as the theme draws it or in one status colour. It
// redraws itself when the palette or the screen changes, so light and dark stay right.
class SymbolLabel : public QLabel {
    Q_OBJECT

public:
    explicit SymbolLabel(SymbolName symbol, int size, QWidget* parent = nullptr);

    const SymbolName& symbol() const { return m_symbol; }
    void setSymbol(SymbolName symbol);
    // Draws the symbol in a status colour role; the role's colour follows the palette.
    void setColorKind(std::optional<MenuBarViewModel::StatusColorKind> kind);
    // Puts the symbol on a rounded tile washed in its colour (the accent without a colour role).
    void setTiled(bool tiled);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void render();

    SymbolName m_symbol;
    int m_size;
    std::optional<MenuBarViewModel::StatusColorKind> m_colorKind;
    bool m_tiled = false;
};

} // namespace tarnwell
