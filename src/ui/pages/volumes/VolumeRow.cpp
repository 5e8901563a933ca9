#include "ui/pages/volumes/VolumeRow.h"

#include "core/support/Localization.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tarnwell {

namespace {

constexpr int horizontalMargin = 10;
constexpr int verticalMargin = 8;
constexpr int iconSpacing = 10;
constexpr int lineSpacing = 2;
constexpr int iconSize = TarnwellTheme::headerIconSize;
constexpr int tileSize = iconSize + 2 * TarnwellTheme::tilePadding;

QFont nameFont() {
    return TarnwellTheme::font(13, QFont::DemiBold);
}

int textHeight() {
    return QFontMetrics(nameFont()).height() + lineSpacing +
           QFontMetrics(TarnwellTheme::captionFont()).height();
}

} // namespace

VolumeRow::VolumeRow(DriveInfo volume, QWidget* parent)
    : QWidget(parent) {
    showSelection(this, false);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setVolume(std::move(volume));
}

void VolumeRow::setVolume(DriveInfo volume) {
    const bool iconChanges = m_icon.isNull() || volume.isMounted != m_volume.isMounted;
    m_volume = std::move(volume);
    setAccessibleName(m_volume.volumeName);
    setAccessibleDescription(detail());
    // The row elides both lines; the tooltip keeps them whole.
    setToolTip(m_volume.volumeName + u'\n' + detail());
    if (iconChanges) {
        renderIcon();
    }
    update();
}

QString VolumeRow::location() const {
    return m_volume.mountPoint.value_or(localized("Not mounted"));
}

QString VolumeRow::detail() const {
    return m_volume.isExternal ? location() : localized("Internal") + QStringLiteral(" · ") + location();
}

void VolumeRow::setSelected(bool selected) {
    if (selected != m_isSelected) {
        m_isSelected = selected;
        showSelection(this, selected);
        update();
    }
}

QSize VolumeRow::sizeHint() const {
    // The list gives the row its width and both lines elide to it.
    return minimumSizeHint();
}

QSize VolumeRow::minimumSizeHint() const {
    return {2 * horizontalMargin + tileSize, 2 * verticalMargin + std::max(tileSize, textHeight())};
}

QColor VolumeRow::iconColor() const {
    return TarnwellTheme::statusColor(m_volume.isMounted ? MenuBarViewModel::StatusColorKind::Accent
                                                         : MenuBarViewModel::StatusColorKind::Secondary,
                                      palette());
}

void VolumeRow::renderIcon() {
    m_icon = SymbolIcons::tinted(m_volume.isMounted ? "externaldrive.fill"_symbol : "externaldrive"_symbol,
                                 iconSize, iconColor(), devicePixelRatioF());
}

void VolumeRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        renderIcon();
        update();
    }
}

void VolumeRow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    if (m_isSelected) {
        TarnwellTheme::paintSelection(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), palette());
    }
    const QRect content =
        rect().adjusted(horizontalMargin, verticalMargin, -horizontalMargin, -verticalMargin);
    const QRect tile(content.left(), content.top() + (content.height() - tileSize) / 2, tileSize, tileSize);
    TarnwellTheme::paintIconTile(painter, QRectF(tile), iconColor(), palette());
    painter.drawPixmap(tile.adjusted(TarnwellTheme::tilePadding, TarnwellTheme::tilePadding,
                                     -TarnwellTheme::tilePadding, -TarnwellTheme::tilePadding),
                       m_icon);

    const QFont name = nameFont();
    const QFont caption = TarnwellTheme::captionFont();
    const QFontMetrics nameMetrics(name);
    const QFontMetrics captionMetrics(caption);
    const int left = content.left() + tileSize + iconSpacing;
    const int width = std::max(0, content.right() + 1 - left);
    int top = content.top() + (content.height() - textHeight()) / 2;
    const auto line = [&](const QFont& font, const QFontMetrics& metrics, const QColor& color, QString text) {
        text.replace(u'\n', u' ');
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(QRect(left, top, width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text, Qt::ElideRight, width));
        top += metrics.height() + lineSpacing;
    };
    line(name, nameMetrics, palette().color(QPalette::WindowText), m_volume.volumeName);
    line(caption, captionMetrics, palette().color(QPalette::PlaceholderText), detail());
}

void VolumeRow::mousePressEvent(QMouseEvent* event) {
    // Taking the press is what makes the release come here.
    event->accept();
}

void VolumeRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT activated(m_volume);
    }
}

void VolumeRow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    selectOnFocus(*event);
}

void VolumeRow::keyPressEvent(QKeyEvent* event) {
    if (!selectOnKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

} // namespace tarnwell
