#include "ui/pages/apps/AppManagementRow.h"

#include "core/support/Localization.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/pages/apps/AppManagementIcon.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

QToolButton* iconButton(const QString& help, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setToolTip(help);
    // Shown only where the icon theme has no picture for the symbol.
    button->setText(help);
    button->setAccessibleName(help);
    button->setAutoRaise(true);
    button->setIconSize(QSize(TarnwellTheme::rowIconSize, TarnwellTheme::rowIconSize));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

AppManagementRow::AppManagementRow(AppTrigger trigger, std::shared_ptr<const DesktopEntryIndex> index,
                                   QWidget* parent)
    : QWidget(parent)
    , m_trigger(std::move(trigger))
    , m_icon(new AppManagementIcon(m_trigger, std::move(index), this))
    , m_name(new ElidedLabel({}, this))
    , m_presetCapsule(new QLabel(localized("Preset"), this))
    , m_notInstalled(new QLabel(localized("Not installed"), this))
    , m_identifiers(new ElidedLabel({}, this))
    , m_enabled(new ToggleSwitch(this))
    , m_choose(iconButton(localized("Choose App"), this))
    , m_delete(iconButton(localized("Delete App"), this)) {
    m_name->setFont(TarnwellTheme::font(13, QFont::DemiBold));
    m_presetCapsule->setFont(TarnwellTheme::font(10, QFont::DemiBold));
    m_presetCapsule->setAlignment(Qt::AlignCenter);
    m_identifiers->setFont(TarnwellTheme::captionFont());
    m_notInstalled->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(m_notInstalled);
    m_notInstalled->hide();
    TarnwellTheme::makeSecondary(m_identifiers);
    m_choose->setIcon(SymbolIcons::icon("folder"_symbol));
    auto* enabledLabel = new QLabel(localized("Enabled"), this);
    enabledLabel->setFont(TarnwellTheme::bodyFont());
    enabledLabel->setBuddy(m_enabled);

    auto* title = new QHBoxLayout;
    title->setSpacing(6);
    title->addWidget(m_name, 0);
    title->addWidget(m_presetCapsule);
    title->addWidget(m_notInstalled);
    title->addStretch(1);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addLayout(title);
    text->addWidget(m_identifiers);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    layout->addWidget(m_icon);
    layout->addLayout(text, 1);
    layout->addWidget(enabledLabel);
    layout->addWidget(m_enabled);
    layout->addSpacing(6);
    layout->addWidget(m_choose);
    layout->addWidget(m_delete);

    connect(m_enabled, &ToggleSwitch::toggled, this, &AppManagementRow::enabledChangeRequested);
    connect(m_choose, &QToolButton::clicked, this, &AppManagementRow::chooseAppRequested);
    connect(m_delete, &QToolButton::clicked, this, &AppManagementRow::deleteRequested);
    styleCapsule();
    render();
}

void AppManagementRow::setDesktopEntries(std::shared_ptr<const DesktopEntryIndex> index) {
    m_icon->setDesktopEntries(std::move(index));
}

void AppManagementRow::setInstalled(bool isInstalled) {
    m_isInstalled = isInstalled;
    m_notInstalled->setVisible(!isInstalled);
    m_name->setEnabled(isInstalled);
    m_icon->setEnabled(isInstalled);
}

void AppManagementRow::setTrigger(AppTrigger trigger) {
    m_trigger = std::move(trigger);
    m_icon->setTrigger(m_trigger);
    render();
}

void AppManagementRow::render() {
    m_name->setFullText(m_trigger.displayName);
    m_presetCapsule->setVisible(m_trigger.isBuiltInPreset);
    m_identifiers->setFullText(m_trigger.bundleIdentifiers.join(QStringLiteral(", ")));
    m_enabled->setStoredValue(m_trigger.isEnabled);
    // Every row has the same controls: their names say whose they are.
    m_enabled->setAccessibleName(localizedFormat("Enable %@", {m_trigger.displayName}));
    m_choose->setAccessibleName(localizedFormat("Choose App for %@", {m_trigger.displayName}));
    m_delete->setAccessibleName(localizedFormat("Delete %@", {m_trigger.displayName}));
    // Built-in presets are kept whatever happens, so their delete button would do nothing.
    m_delete->setEnabled(!m_trigger.isBuiltInPreset);
}

void AppManagementRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        styleCapsule();
    }
}

void AppManagementRow::styleCapsule() {
    const QColor accent = TarnwellTheme::accent(palette());
    QColor fill = accent;
    fill.setAlphaF(0.16);
    m_presetCapsule->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 8px; "
                                                  "padding: 1px 7px; }")
                                       .arg(accent.name(), fill.name(QColor::HexArgb)));
    m_delete->setIcon(QIcon(SymbolIcons::tinted("trash"_symbol, TarnwellTheme::rowIconSize,
                                                TarnwellTheme::red(palette()), devicePixelRatioF())));
}

} // namespace tarnwell
