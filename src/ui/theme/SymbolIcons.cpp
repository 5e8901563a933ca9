#include "ui/theme/SymbolIcons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QStandardPaths>
#include <cmath>

namespace tarnwell {

namespace {

// Several names per symbol: themes other than Breeze often lack the more specific one.
const QHash<QString, QStringList>& table() {
    static const QHash<QString, QStringList> names{
        {QStringLiteral("app"), {QStringLiteral("application-x-executable")}},
        {QStringLiteral("app.badge"),
         {QStringLiteral("applications-other"), QStringLiteral("application-x-executable")}},
        {QStringLiteral("arrow.clockwise"), {QStringLiteral("view-refresh")}},
        {QStringLiteral("arrow.clockwise.circle.fill"), {QStringLiteral("view-refresh")}},
        {QStringLiteral("arrow.counterclockwise.circle"), {QStringLiteral("edit-undo")}},
        {QStringLiteral("arrow.down.circle"),
         {QStringLiteral("update-none"), QStringLiteral("download"), QStringLiteral("go-down")}},
        {QStringLiteral("arrow.triangle.2.circlepath"), {QStringLiteral("view-refresh")}},
        {QStringLiteral("bell"),
         {QStringLiteral("notifications"), QStringLiteral("preferences-desktop-notification")}},
        {QStringLiteral("bell.and.waves.left.and.right"),
         {QStringLiteral("notifications"), QStringLiteral("preferences-desktop-notification")}},
        {QStringLiteral("checkmark.circle.fill"),
         {QStringLiteral("emblem-ok-symbolic"), QStringLiteral("dialog-ok-apply"),
          QStringLiteral("emblem-default")}},
        {QStringLiteral("checkmark.shield"), {QStringLiteral("security-high")}},
        {QStringLiteral("checkmark.shield.fill"), {QStringLiteral("security-high")}},
        {QStringLiteral("clock.arrow.circlepath"),
         {QStringLiteral("view-history"), QStringLiteral("document-open-recent")}},
        {QStringLiteral("clock.fill"), {QStringLiteral("clock"), QStringLiteral("document-open-recent")}},
        {QStringLiteral("doc.on.doc"), {QStringLiteral("edit-copy")}},
        {QStringLiteral("eject"), {QStringLiteral("media-eject")}},
        {QStringLiteral("eject.circle.fill"), {QStringLiteral("media-eject")}},
        {QStringLiteral("exclamationmark.triangle"), {QStringLiteral("dialog-warning")}},
        {QStringLiteral("exclamationmark.triangle.fill"), {QStringLiteral("dialog-warning")}},
        {QStringLiteral("externaldrive"),
         {QStringLiteral("drive-removable-media"), QStringLiteral("drive-harddisk")}},
        {QStringLiteral("externaldrive.badge.plus"),
         {QStringLiteral("media-mount"), QStringLiteral("list-add")}},
        {QStringLiteral("externaldrive.badge.questionmark"),
         {QStringLiteral("dialog-question"), QStringLiteral("drive-harddisk")}},
        {QStringLiteral("externaldrive.connected.to.line.below"),
         {QStringLiteral("drive-multidisk"), QStringLiteral("drive-harddisk")}},
        {QStringLiteral("externaldrive.fill"),
         {QStringLiteral("drive-removable-media-usb"), QStringLiteral("drive-removable-media"),
          QStringLiteral("drive-harddisk")}},
        {QStringLiteral("folder"),
         {QStringLiteral("document-open"), QStringLiteral("folder-open"), QStringLiteral("folder")}},
        {QStringLiteral("gauge.with.dots.needle.bottom.50percent"),
         {QStringLiteral("speedometer"), QStringLiteral("utilities-system-monitor")}},
        {QStringLiteral("gearshape"), {QStringLiteral("configure"), QStringLiteral("preferences-system")}},
        {QStringLiteral("globe"), {QStringLiteral("globe"), QStringLiteral("applications-internet")}},
        {QStringLiteral("info.circle"), {QStringLiteral("dialog-information"), QStringLiteral("help-about")}},
        {QStringLiteral("list.bullet.rectangle"), {QStringLiteral("view-list-details")}},
        {QStringLiteral("macwindow"), {QStringLiteral("window"), QStringLiteral("window-new")}},
        {QStringLiteral("network"), {QStringLiteral("network-workgroup"), QStringLiteral("network-server")}},
        {QStringLiteral("pause.circle"),
         {QStringLiteral("media-playback-pause"), QStringLiteral("media-playback-paused")}},
        {QStringLiteral("plus"), {QStringLiteral("list-add")}},
        {QStringLiteral("power"), {QStringLiteral("application-exit"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("power.circle"), {QStringLiteral("system-run"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("questionmark.circle.fill"),
         {QStringLiteral("dialog-question"), QStringLiteral("help-about")}},
        {QStringLiteral("slider.horizontal.3"),
         {QStringLiteral("adjustlevels"), QStringLiteral("configure")}},
        {QStringLiteral("sparkles"), {QStringLiteral("tools-wizard")}},
        {QStringLiteral("square.and.arrow.down"), {QStringLiteral("document-save")}},
        {QStringLiteral("square.grid.2x2"), {QStringLiteral("view-grid")}},
        {QStringLiteral("square.grid.2x2.fill"), {QStringLiteral("view-grid")}},
        {QStringLiteral("stethoscope"),
         {QStringLiteral("tools-report-bug"), QStringLiteral("utilities-system-monitor")}},
        {QStringLiteral("textformat"), {QStringLiteral("edit-rename"), QStringLiteral("format-text-bold")}},
        {QStringLiteral("timer"), {QStringLiteral("chronometer"), QStringLiteral("clock")}},
        {QStringLiteral("trash"), {QStringLiteral("edit-delete"), QStringLiteral("user-trash")}},
        {QStringLiteral("waveform.path.ecg"),
         {QStringLiteral("office-chart-line"), QStringLiteral("view-statistics")}},
        {QStringLiteral("xmark.octagon.fill"),
         {QStringLiteral("dialog-error"), QStringLiteral("emblem-error")}},
    };
    return names;
}

enum class Shape { Circle, Ring, Triangle, Shield };
enum class Mark { Question, Exclamation, Check, Clockwise, Eject, Pause };

struct StatusSymbol {
    Shape shape;
    Mark mark;
};

const QHash<QString, StatusSymbol>& statusSymbols() {
    static const QHash<QString, StatusSymbol> symbols{
        {QStringLiteral("questionmark.circle.fill"), {Shape::Circle, Mark::Question}},
        {QStringLiteral("exclamationmark.triangle.fill"), {Shape::Triangle, Mark::Exclamation}},
        {QStringLiteral("checkmark.circle.fill"), {Shape::Circle, Mark::Check}},
        {QStringLiteral("checkmark.shield.fill"), {Shape::Shield, Mark::Check}},
        {QStringLiteral("arrow.clockwise.circle.fill"), {Shape::Circle, Mark::Clockwise}},
        {QStringLiteral("eject.circle.fill"), {Shape::Circle, Mark::Eject}},
        {QStringLiteral("pause.circle"), {Shape::Ring, Mark::Pause}},
    };
    return symbols;
}

// The shape in a unit square.
QPainterPath shapePath(Shape shape) {
    QPainterPath path;
    switch (shape) {
    case Shape::Circle:
    case Shape::Ring:
        path.addEllipse(QRectF(0.04, 0.04, 0.92, 0.92));
        break;
    case Shape::Triangle:
        path.moveTo(0.5, 0.05);
        path.lineTo(0.97, 0.9);
        path.lineTo(0.03, 0.9);
        path.closeSubpath();
        break;
    case Shape::Shield:
        path.moveTo(0.5, 0.02);
        path.cubicTo(0.64, 0.12, 0.78, 0.16, 0.92, 0.17);
        path.cubicTo(0.92, 0.58, 0.78, 0.84, 0.5, 0.98);
        path.cubicTo(0.22, 0.84, 0.08, 0.58, 0.08, 0.17);
        path.cubicTo(0.22, 0.16, 0.36, 0.12, 0.5, 0.02);
        path.closeSubpath();
        break;
    }
    return path;
}

// The mark in a unit square, as a filled outline.
QPainterPath markPath(Mark mark, Shape shape) {
    // Marks sit a little lower in a triangle and a shield, whose visual centre is low.
    const qreal centre = shape == Shape::Triangle ? 0.6 : shape == Shape::Shield ? 0.52 : 0.5;
    QPainterPathStroker stroke;
    stroke.setCapStyle(Qt::RoundCap);
    stroke.setJoinStyle(Qt::RoundJoin);
    stroke.setWidth(0.13);
    QPainterPath line;
    QPainterPath path;
    switch (mark) {
    case Mark::Question:
        line.moveTo(0.36, 0.38);
        line.cubicTo(0.36, 0.2, 0.64, 0.2, 0.64, 0.37);
        line.cubicTo(0.64, 0.48, 0.5, 0.48, 0.5, 0.59);
        path = stroke.createStroke(line);
        path.addEllipse(QPointF(0.5, 0.77), 0.075, 0.075);
        break;
    case Mark::Exclamation:
        line.moveTo(0.5, centre - 0.2);
        line.lineTo(0.5, centre + 0.05);
        path = stroke.createStroke(line);
        path.addEllipse(QPointF(0.5, centre + 0.19), 0.07, 0.07);
        break;
    case Mark::Check:
        line.moveTo(0.29, centre + 0.02);
        line.lineTo(0.44, centre + 0.16);
        line.lineTo(0.72, centre - 0.14);
        path = stroke.createStroke(line);
        break;
    case Mark::Clockwise:
        line.arcMoveTo(QRectF(0.26, 0.26, 0.48, 0.48), 80);
        line.arcTo(QRectF(0.26, 0.26, 0.48, 0.48), 80, -300);
        path = stroke.createStroke(line);
        path.moveTo(0.5, 0.13);
        path.lineTo(0.66, 0.27);
        path.lineTo(0.47, 0.37);
        path.closeSubpath();
        break;
    case Mark::Eject:
        path.moveTo(0.5, 0.24);
        path.lineTo(0.74, 0.54);
        path.lineTo(0.26, 0.54);
        path.closeSubpath();
        path.addRoundedRect(QRectF(0.26, 0.63, 0.48, 0.11), 0.03, 0.03);
        break;
    case Mark::Pause:
        path.addRoundedRect(QRectF(0.34, 0.3, 0.11, 0.4), 0.03, 0.03);
        path.addRoundedRect(QRectF(0.55, 0.3, 0.11, 0.4), 0.03, 0.03);
        break;
    }
    return path.simplified();
}

QPixmap drawStatusSymbol(const StatusSymbol& symbol, int size, const QColor& color, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size, size);
    painter.setPen(Qt::NoPen);
    if (symbol.shape == Shape::Ring) {
        // An outline symbol: the ring and the mark share the colour, with the inside left clear.
        QPainterPath ring = shapePath(symbol.shape);
        ring.addEllipse(QRectF(0.15, 0.15, 0.7, 0.7));
        painter.setBrush(color);
        painter.drawPath(ring);
        painter.drawPath(markPath(symbol.mark, symbol.shape));
        return pixmap;
    }
    painter.setBrush(color);
    // A round join rounds the corners of the triangle and the shield.
    painter.setPen(QPen(color, 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shapePath(symbol.shape));
    painter.setPen(Qt::NoPen);
    painter.setBrush(SymbolIcons::markColor(color));
    painter.drawPath(markPath(symbol.mark, symbol.shape));
    return pixmap;
}

} // namespace

bool SymbolIcons::isStatusSymbol(const SymbolName& symbol) {
    return statusSymbols().contains(symbol.name);
}

QColor SymbolIcons::markColor(const QColor& shapeColor) {
    // Relative luminance: white reads on the saturated light-palette colours, a near-black on the
    // brighter dark-palette ones.
    const auto channel = [](float value) {
        return value <= 0.04045f ? value / 12.92f : std::pow((value + 0.055f) / 1.055f, 2.4f);
    };
    const float luminance = 0.2126f * channel(shapeColor.redF()) + 0.7152f * channel(shapeColor.greenF()) +
                            0.0722f * channel(shapeColor.blueF());
    return luminance > 0.3f ? QColor(0x1B, 0x1D, 0x21) : QColor(Qt::white);
}

QStringList SymbolIcons::themeNames(const SymbolName& symbol) {
    return table().value(symbol.name);
}

QList<SymbolName> SymbolIcons::symbols() {
    QList<SymbolName> result;
    for (auto it = table().cbegin(); it != table().cend(); ++it) {
        result.append(SymbolName{it.key()});
    }
    return result;
}

QIcon SymbolIcons::icon(const SymbolName& symbol) {
    for (const QString& name : themeNames(symbol)) {
        if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    return {};
}

QPixmap SymbolIcons::tinted(const SymbolName& symbol, int size, const QColor& color, qreal devicePixelRatio) {
    // Lists draw the same few symbols in the same colours once per row; the theme is in the key
    // because a light and a dark theme draw different shapes.
    const QString key = QStringLiteral("tarnwell-symbol:%1:%2:%3:%4:%5:%6")
                            .arg(symbol.name, QIcon::themeName(), QIcon::fallbackThemeName())
                            .arg(size)
                            .arg(color.rgba())
                            .arg(devicePixelRatio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) {
        return pixmap;
    }
    if (const auto status = statusSymbols().constFind(symbol.name); status != statusSymbols().constEnd()) {
        pixmap = drawStatusSymbol(*status, size, color, devicePixelRatio);
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }
    pixmap = icon(symbol).pixmap(QSize(size, size), devicePixelRatio);
    if (pixmap.isNull()) {
        return pixmap;
    }
    {
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
    }
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

void SymbolIcons::installFallbackTheme(bool dark) {
    const QString fallback = dark ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
    QIcon::setFallbackThemeName(fallback);
    // Platforms without a desktop theme (offscreen rendering among them) search no system folder.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& folder : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory)) {
        if (!paths.contains(folder)) {
            paths.append(folder);
        }
    }
    QIcon::setThemeSearchPaths(paths);
    // Without a theme of the desktop's own the fallback would never be searched.
    if (QIcon::themeName().isEmpty()) {
        QIcon::setThemeName(fallback);
    }
}

} // namespace tarnwell
