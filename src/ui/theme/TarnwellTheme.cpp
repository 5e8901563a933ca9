#include "ui/theme/TarnwellTheme.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace tarnwell {

namespace {

QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

} // namespace

bool TarnwellTheme::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor TarnwellTheme::accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

// The fixed status colours are chosen to stay readable on both backgrounds.
QColor TarnwellTheme::success(const QPalette& palette) {
    return isDark(palette) ? QColor(0x4C, 0xC2, 0x6E) : QColor(0x2E, 0x9E, 0x4F);
}

QColor TarnwellTheme::orange(const QPalette& palette) {
    return isDark(palette) ? QColor(0xFF, 0xA2, 0x3A) : QColor(0xD9, 0x7A, 0x00);
}

QColor TarnwellTheme::red(const QPalette& palette) {
    return isDark(palette) ? QColor(0xFF, 0x6B, 0x63) : QColor(0xD9, 0x3A, 0x3A);
}

QColor TarnwellTheme::secondaryText(const QPalette& palette) {
    const QColor placeholder = palette.color(QPalette::PlaceholderText);
    const QColor text = palette.color(QPalette::WindowText);
    // A placeholder colour equal to the text colour would not read as secondary.
    if (placeholder.isValid() && placeholder.alpha() > 0 && placeholder != text) {
        return placeholder;
    }
    return withAlpha(text, 0.6);
}

QColor TarnwellTheme::rowBackground(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::Base), 0.32);
}

QColor TarnwellTheme::subtleBackground(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::Base), 0.28);
}

QColor TarnwellTheme::separator(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::Mid), 0.3);
}

QColor TarnwellTheme::shadow() {
    return withAlpha(Qt::black, 0.14);
}

QColor TarnwellTheme::selectedFill(const QPalette& palette) {
    return withAlpha(accent(palette), 0.14);
}

QColor TarnwellTheme::selectedBorder(const QPalette& palette) {
    return withAlpha(accent(palette), 0.35);
}

QColor TarnwellTheme::statusColor(MenuBarViewModel::StatusColorKind kind, const QPalette& palette) {
    switch (kind) {
    case MenuBarViewModel::StatusColorKind::Green:
        return success(palette);
    case MenuBarViewModel::StatusColorKind::Orange:
        return orange(palette);
    case MenuBarViewModel::StatusColorKind::Red:
        return red(palette);
    case MenuBarViewModel::StatusColorKind::Secondary:
        return secondaryText(palette);
    case MenuBarViewModel::StatusColorKind::Accent:
        return accent(palette);
    }
    return secondaryText(palette);
}

QFont TarnwellTheme::font(int pixelSize, QFont::Weight weight) {
    QFont result = QApplication::font();
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

void TarnwellTheme::makeSecondary(QWidget* widget) {
    // A role rather than a colour, so the text follows a later palette change.
    widget->setForegroundRole(QPalette::PlaceholderText);
}

void TarnwellTheme::setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void TarnwellTheme::paintPanel(QPainter& painter, const QRectF& rect, const QPalette& palette,
                               qreal cornerRadius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(separator(palette), 1));
    // Over an opaque backdrop a faint Base tint alone is too weak in the light palette.
    painter.setBrush(withAlpha(palette.color(QPalette::Base), isDark(palette) ? 0.32 : 0.62));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.restore();
}

void TarnwellTheme::paintSelection(QPainter& painter, const QRectF& rect, const QPalette& palette,
                                   qreal cornerRadius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(selectedBorder(palette), 1));
    painter.setBrush(selectedFill(palette));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.restore();
}

void TarnwellTheme::paintIconTile(QPainter& painter, const QRectF& rect, const QColor& tint,
                                  const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = isDark(palette);
    painter.setPen(QPen(withAlpha(tint, dark ? 0.34 : 0.26), 1));
    painter.setBrush(withAlpha(tint, dark ? 0.2 : 0.13));
    const qreal corner = rect.width() * 0.26;
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
    painter.restore();
}

void TarnwellTheme::paintBackdrop(QPainter& painter, const QRectF& rect, const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor tint = accent(palette);
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    const auto mix = [&](qreal amount) {
        return QColor::fromRgbF(window.redF() * (1 - amount) + tint.redF() * amount,
                                window.greenF() * (1 - amount) + tint.greenF() * amount,
                                window.blueF() * (1 - amount) + tint.blueF() * amount);
    };
    gradient.setColorAt(0, mix(isDark(palette) ? 0.10 : 0.06));
    gradient.setColorAt(0.55, window);
    gradient.setColorAt(1, mix(isDark(palette) ? 0.05 : 0.03));
    painter.fillRect(rect, gradient);
}

} // namespace tarnwell
