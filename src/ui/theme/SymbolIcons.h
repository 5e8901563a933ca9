#pragma once

#include "ui/theme/SymbolName.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

namespace tarnwell {

// The one table from symbol names to freedesktop icon names. The desktop's icon theme wins;
// Breeze is the fallback theme.
class SymbolIcons {
public:
    // The freedesktop names tried in order for a symbol; empty for a symbol the table lacks.
    static QStringList themeNames(const SymbolName& symbol);
    // Every symbol the table knows.
    static QList<SymbolName> symbols();
    // The themed icon; a null icon only when no candidate name exists in any theme.
    static QIcon icon(const SymbolName& symbol);
    // The symbol in one colour. A status symbol (a check, a question or exclamation mark, a
    // pause on its shape) is drawn here rather than taken from the theme: its shape takes the
    // colour and its mark is cut out in a colour that reads on it, so the meaning survives the tint.
    static QPixmap tinted(const SymbolName& symbol, int size, const QColor& color,
                          qreal devicePixelRatio = 1.0);
    static bool isStatusSymbol(const SymbolName& symbol);
    // The colour of a status symbol's mark on a shape of the given colour.
    static QColor markColor(const QColor& shapeColor);
    // Chooses Breeze or its dark variant as the fallback theme to match the palette; call it
    // before the first widget is built.
    static void installFallbackTheme(bool dark);
};

} // namespace tarnwell
