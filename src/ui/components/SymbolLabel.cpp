#include "ui/components/SymbolLabel.h"

#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QEvent>
#include <QPainter>

namespace tarnwell {

SymbolLabel::SymbolLabel(SymbolName symbol, int size, QWidget* parent)
    : QLabel(parent)
    , m_symbol(std::move(symbol))
    , m_size(size) {
    setFixedSize(size, size);
    setAlignment(Qt::AlignCenter);
    render();
}

void SymbolLabel::setSymbol(SymbolName symbol) {
    if (symbol == m_symbol) {
        return;
    }
    m_symbol = std::move(symbol);
    render();
}

void SymbolLabel::setColorKind(std::optional<MenuBarViewModel::StatusColorKind> kind) {
    if (kind == m_colorKind) {
        return;
    }
    m_colorKind = kind;
    render();
}

void SymbolLabel::setTiled(bool tiled) {
    m_tiled = tiled;
    const int side = m_size + (tiled ? 2 * TarnwellTheme::tilePadding : 0);
    setFixedSize(side, side);
    update();
}

void SymbolLabel::paintEvent(QPaintEvent* event) {
    if (m_tiled) {
        QPainter painter(this);
        TarnwellTheme::paintIconTile(
            painter, QRectF(rect()),
            TarnwellTheme::statusColor(m_colorKind.value_or(MenuBarViewModel::StatusColorKind::Accent),
                                       palette()),
            palette());
    }
    QLabel::paintEvent(event);
}

void SymbolLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        render();
    }
}

void SymbolLabel::render() {
    const qreal ratio = devicePixelRatioF();
    if (m_colorKind) {
        setPixmap(SymbolIcons::tinted(m_symbol, m_size, TarnwellTheme::statusColor(*m_colorKind, palette()),
                                      ratio));
    } else {
        setPixmap(SymbolIcons::icon(m_symbol).pixmap(QSize(m_size, m_size), ratio));
    }
}

} // namespace tarnwell
