#pragma once

#include "app/MenuBarViewModel.h"

#include <QColor>
#include <QFont>
#include <QPalette>

class QPainter;
class QRectF;
class QWidget;

namespace tarnwell {

// The one look of the window and the panel. Light and dark follow the palette: a dark window
// colour means dark. Colours are computed from the palette they are drawn with, so a palette
// change restyles everything on its next paint.
class TarnwellTheme {
public:
    static constexpr qreal radius = 14;
    static constexpr qreal controlRadius = 10;
    // Icon sizes of rows, headers and summary tiles.
    static constexpr int rowIconSize = 16;
    static constexpr int headerIconSize = 20;
    static constexpr int tileIconSize = 28;

    static bool isDark(const QPalette& palette);

    static QColor accent(const QPalette& palette);
    static QColor success(const QPalette& palette);
    static QColor orange(const QPalette& palette);
    static QColor red(const QPalette& palette);
    static QColor secondaryText(const QPalette& palette);
    static QColor rowBackground(const QPalette& palette);
    static QColor subtleBackground(const QPalette& palette);
    static QColor separator(const QPalette& palette);
    static QColor shadow();
    // The selected look of rows and cards: a tint of the accent and a border of it.
    static QColor selectedFill(const QPalette& palette);
    static QColor selectedBorder(const QPalette& palette);
    static QColor statusColor(MenuBarViewModel::StatusColorKind kind, const QPalette& palette);

    // The application font at a pixel size and weight.
    static QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
    static QFont pageTitleFont() { return font(22, QFont::DemiBold); }
    static QFont sectionTitleFont() { return font(15, QFont::DemiBold); }
    static QFont bodyFont() { return font(13); }
    static QFont captionFont() { return font(11); }

    // Gives a label the secondary text colour of its palette.
    static void makeSecondary(QWidget* widget);
    // Gives a label one fixed role colour that follows light and dark.
    static void setTextColor(QWidget* widget, const QColor& color);

    // A rounded panel: the row background with a hairline separator border.
    static void paintPanel(QPainter& painter, const QRectF& rect, const QPalette& palette,
                           qreal cornerRadius = radius);
    // A rounded selected row or card.
    static void paintSelection(QPainter& painter, const QRectF& rect, const QPalette& palette,
                               qreal cornerRadius = controlRadius);
    // The rounded tile behind a rule's or a volume's symbol: a light wash of the symbol's colour.
    static void paintIconTile(QPainter& painter, const QRectF& rect, const QColor& tint,
                              const QPalette& palette);
    // Room a tile leaves around its symbol on each side.
    static constexpr int tilePadding = 6;

    // The window backdrop: an opaque gradient of low tints over the window colour.
    static void paintBackdrop(QPainter& painter, const QRectF& rect, const QPalette& palette);
};

} // namespace tarnwell
