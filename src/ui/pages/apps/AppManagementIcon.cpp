#include "ui/pages/apps/AppManagementIcon.h"

#include "platform/linux/DesktopEntryIndex.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

namespace tarnwell {

namespace {

struct Monogram {
    QString initials;
    QColor color;
};

// Drawn here rather than shipped as images: letters on a tile, so no product's artwork is used.
const QHash<QString, Monogram>& monograms() {
    static const QHash<QString, Monogram> table{
        {QStringLiteral("PresetIconFinalCut"), {QStringLiteral("FC"), QColor(0x5b, 0x4b, 0xc4)}},
        {QStringLiteral("PresetIconDaVinciResolve"), {QStringLiteral("DR"), QColor(0xc2, 0x5b, 0x1f)}},
        {QStringLiteral("PresetIconPremierePro"), {QStringLiteral("PP"), QColor(0x2f, 0x3f, 0x9e)}},
        {QStringLiteral("PresetIconCapCut"), {QStringLiteral("CC"), QColor(0x26, 0x26, 0x2b)}},
        {QStringLiteral("PresetIconJianying"), {QStringLiteral("JY"), QColor(0x0e, 0x8a, 0x7d)}},
        {QStringLiteral("PresetIconKdenlive"), {QStringLiteral("Kd"), QColor(0x1d, 0x6f, 0xb8)}},
        {QStringLiteral("PresetIconShotcut"), {QStringLiteral("Sc"), QColor(0x3b, 0x7d, 0x3e)}},
        {QStringLiteral("PresetIconBlender"), {QStringLiteral("Bl"), QColor(0xd0, 0x6a, 0x12)}},
        {QStringLiteral("PresetIconLightworks"), {QStringLiteral("Lw"), QColor(0x6b, 0x3f, 0xa0)}},
        {QStringLiteral("PresetIconOpenShot"), {QStringLiteral("OS"), QColor(0x2a, 0x5d, 0xa8)}},
        {QStringLiteral("PresetIconOlive"), {QStringLiteral("Ol"), QColor(0x5f, 0x7a, 0x1e)}},
        {QStringLiteral("PresetIconFlowblade"), {QStringLiteral("Fb"), QColor(0x8a, 0x2f, 0x4f)}},
        {QStringLiteral("PresetIconNatron"), {QStringLiteral("Na"), QColor(0x44, 0x4c, 0x5a)}},
        {QStringLiteral("PresetIconCinelerra"), {QStringLiteral("Ci"), QColor(0x9c, 0x2b, 0x2b)}},
        {QStringLiteral("PresetIconAvidemux"), {QStringLiteral("Av"), QColor(0x1f, 0x7a, 0x8c)}},
        {QStringLiteral("PresetIconPitivi"), {QStringLiteral("Pi"), QColor(0xa3, 0x4d, 0x8f)}},
    };
    return table;
}

// The Linux editors' monograms go by name: "PresetIconKdenlive" for "Kdenlive".
const QList<QString>& linuxEditors() {
    static const QList<QString> names{"Kdenlive",  "Shotcut", "Blender",   "Lightworks", "OpenShot", "Olive",
                                      "Flowblade", "Natron",  "Cinelerra", "Avidemux",   "Pitivi"};
    return names;
}

std::optional<QString> assetForIdentifier(const QString& identifier) {
    if (identifier == u"com.apple.FinalCut" || identifier == u"com.apple.FinalCutApp") {
        return QStringLiteral("PresetIconFinalCut");
    }
    if (identifier == u"com.blackmagic-design.DaVinciResolve") {
        return QStringLiteral("PresetIconDaVinciResolve");
    }
    if (identifier.startsWith(u"com.adobe.PremierePro")) {
        return QStringLiteral("PresetIconPremierePro");
    }
    if (identifier == u"com.lemon.lvoverseas") {
        return QStringLiteral("PresetIconCapCut");
    }
    if (identifier == u"com.lemon.lvpro") {
        return QStringLiteral("PresetIconJianying");
    }
    return std::nullopt;
}

std::optional<QString> assetForName(const QString& name) {
    static const QHash<QString, QString> byName{
        {QStringLiteral("Final Cut Pro"), QStringLiteral("PresetIconFinalCut")},
        {QStringLiteral("DaVinci Resolve"), QStringLiteral("PresetIconDaVinciResolve")},
        {QStringLiteral("Adobe Premiere Pro"), QStringLiteral("PresetIconPremierePro")},
        {QStringLiteral("CapCut"), QStringLiteral("PresetIconCapCut")},
        {QStringLiteral("Jianying"), QStringLiteral("PresetIconJianying")},
    };
    const auto found = byName.constFind(name);
    if (found != byName.constEnd()) {
        return *found;
    }
    return linuxEditors().contains(name) ? std::optional(QStringLiteral("PresetIcon") + name) : std::nullopt;
}

} // namespace

QIcon AppManagementIcon::entryIcon(const std::optional<QString>& icon) {
    if (!icon || icon->isEmpty()) {
        return {};
    }
    if (QFileInfo(*icon).isAbsolute()) {
        return QFileInfo(*icon).isFile() ? QIcon(*icon) : QIcon();
    }
    return QIcon::fromTheme(*icon);
}

namespace {

QIcon fileIcon(const QString& path) {
    return QFileIconProvider().icon(QFileInfo(path));
}

} // namespace

AppManagementIcon::AppManagementIcon(AppTrigger trigger, std::shared_ptr<const DesktopEntryIndex> index,
                                     QWidget* parent)
    : QWidget(parent)
    , m_trigger(std::move(trigger))
    , m_index(std::move(index)) {
    setFixedSize(iconSize, iconSize);
    resolve();
}

void AppManagementIcon::setTrigger(AppTrigger trigger) {
    if (trigger != m_trigger) {
        m_trigger = std::move(trigger);
        resolve();
        update();
    }
}

void AppManagementIcon::setDesktopEntries(std::shared_ptr<const DesktopEntryIndex> index) {
    m_index = std::move(index);
    resolve();
    update();
}

std::optional<QString> AppManagementIcon::presetAssetName(const AppTrigger& trigger) {
    for (const QString& identifier : trigger.bundleIdentifiers) {
        if (auto asset = assetForIdentifier(identifier)) {
            return asset;
        }
    }
    return assetForName(trigger.displayName);
}

void AppManagementIcon::resolve() {
    m_presetAsset.clear();
    m_icon = QIcon();
    if (m_trigger.appPath && !m_trigger.appPath->isEmpty() && QFileInfo::exists(*m_trigger.appPath)) {
        const QString& path = *m_trigger.appPath;
        // The entry comes from the catalog's reading: the event loop never reads a desktop file.
        const QList<DesktopEntry> entries = m_index ? m_index->entries() : QList<DesktopEntry>{};
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const DesktopEntry& candidate) {
            return candidate.filePath == path;
        });
        if (entry != entries.end()) {
            m_icon = entryIcon(entry->icon);
        }
        if (m_icon.isNull()) {
            m_icon = fileIcon(path);
        }
        m_source = Source::AppPath;
        return;
    }
    for (const QString& identifier : m_trigger.bundleIdentifiers) {
        const DesktopEntry* entry = m_index ? m_index->entry(identifier) : nullptr;
        if (entry) {
            m_icon = entryIcon(entry->icon);
            if (m_icon.isNull()) {
                m_icon = fileIcon(entry->filePath);
            }
            m_source = Source::DesktopEntry;
            return;
        }
    }
    if (const auto asset = presetAssetName(m_trigger); asset && monograms().contains(*asset)) {
        m_presetAsset = *asset;
        m_source = Source::Preset;
        return;
    }
    m_icon = SymbolIcons::icon("app"_symbol);
    m_source = Source::Generic;
}

void AppManagementIcon::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = QRectF(rect()).adjusted(2, 2, -2, -2);
    // An application this machine lacks is drawn faded.
    if (m_source != Source::Preset) {
        m_icon.paint(&painter, tile.toRect(), Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        return;
    }
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    const Monogram& monogram = monograms()[m_presetAsset];
    QPainterPath path;
    path.addRoundedRect(tile, tile.width() * 0.22, tile.height() * 0.22);
    QColor fill = monogram.color;
    if (TarnwellTheme::isDark(palette())) {
        // A near-black tile would vanish into a dark card: it is lifted, and every tile gets a rim.
        if (fill.lightnessF() < 0.3f) {
            fill = fill.lighter(190);
        }
        QColor rim = palette().color(QPalette::WindowText);
        rim.setAlphaF(0.4f);
        painter.setPen(QPen(rim, 1));
    } else {
        painter.setPen(Qt::NoPen);
    }
    painter.setBrush(fill);
    painter.drawPath(path);
    painter.setPen(Qt::white);
    painter.setFont(TarnwellTheme::font(qRound(tile.height() * 0.4), QFont::Bold));
    painter.drawText(tile, Qt::AlignCenter, monogram.initials);
}

} // namespace tarnwell
