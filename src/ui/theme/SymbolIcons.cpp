#include "ui/theme/SymbolIcons.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QStandardPaths>

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
        {QStringLiteral("plus"), {QStringLiteral("list-add")}},
        {QStringLiteral("power"), {QStringLiteral("application-exit"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("power.circle"), {QStringLiteral("system-run"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("questionmark.circle.fill"),
         {QStringLiteral("dialog-question"), QStringLiteral("help-about")}},
        {QStringLiteral("slider.horizontal.3"),
         {QStringLiteral("adjustlevels"), QStringLiteral("configure")}},
        {QStringLiteral("sparkles"), {QStringLiteral("tools-wizard")}},
        {QStringLiteral("square.grid.2x2"), {QStringLiteral("view-grid")}},
        {QStringLiteral("square.grid.2x2.fill"), {QStringLiteral("view-grid")}},
        {QStringLiteral("stethoscope"),
         {QStringLiteral("tools-report-bug"), QStringLiteral("utilities-system-monitor")}},
        {QStringLiteral("textformat"), {QStringLiteral("edit-rename"), QStringLiteral("format-text-bold")}},
        {QStringLiteral("timer"), {QStringLiteral("chronometer"), QStringLiteral("clock")}},
        {QStringLiteral("trash"), {QStringLiteral("edit-delete"), QStringLiteral("user-trash")}},
        {QStringLiteral("waveform.path.ecg"),
         {QStringLiteral("office-chart-line"), QStringLiteral("view-statistics")}},
    };
    return names;
}

} // namespace

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
