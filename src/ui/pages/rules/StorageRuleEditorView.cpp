#include "ui/pages/rules/StorageRuleEditorView.h"

#include "core/model/AppPresetService.h"
#include "core/support/Localization.h"
#include "ui/components/ConfirmationDialog.h"
#include "ui/components/ControlRow.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwell {

namespace {

QString postQuitActionTitle(PostQuitAction action) {
    switch (action) {
    case PostQuitAction::Off:
        return localized("Off");
    case PostQuitAction::Remind:
        return localized("Remind");
    case PostQuitAction::AutoUnmount:
        return localized("Auto-Unmount");
    }
    return {};
}

QToolButton* stepButton(const QString& text, const QString& accessibleName) {
    auto* button = new QToolButton;
    button->setText(text);
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    button->setAutoRepeat(true);
    button->setFixedSize(24, 24);
    return button;
}

// An internal volume says so wherever it can be chosen.
QString volumeTitle(const QString& name, bool isExternal) {
    return isExternal ? name : localizedFormat("%@ (Internal)", {name});
}

// Keeps one reset for every way out of the rename loop, so a failed save never blocks later ones.
struct SavingFlag {
    bool& saving;
    ~SavingFlag() { saving = false; }
};

} // namespace

StorageRuleEditorView::StorageRuleEditorView(QUuid ruleID, RulesViewModel* rulesViewModel,
                                             VolumesViewModel* volumesViewModel, QWidget* parent)
    : QWidget(parent)
    , m_ruleID(ruleID)
    , m_rules(rulesViewModel)
    , m_volumes(volumesViewModel) {
    buildLayout();
    connect(rulesViewModel, &RulesViewModel::configurationChanged, this, &StorageRuleEditorView::render);
    connect(volumesViewModel, &VolumesViewModel::volumesChanged, this, &StorageRuleEditorView::render);
    render();
}

void StorageRuleEditorView::buildLayout() {
    m_panel = new SettingsPanel(this);
    m_missing = new QLabel(localized("Rule no longer exists."), this);
    m_missing->setFont(TarnwellTheme::bodyFont());
    m_missing->setAlignment(Qt::AlignCenter);
    TarnwellTheme::makeSecondary(m_missing);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_panel);
    layout->addWidget(m_missing);
    layout->addStretch(1);

    m_panel->addWidget(new SectionTitle(localized("Rule Editor"), "slider.horizontal.3"_symbol));

    m_name = new QLineEdit;
    m_name->setMinimumWidth(150);
    // Any change not made by render() is the user's: typed, pasted or set by an assistive tool.
    connect(m_name, &QLineEdit::textChanged, this, &StorageRuleEditorView::nameEdited);
    connect(m_name, &QLineEdit::editingFinished, this, &StorageRuleEditorView::render);
    m_panel->addWidget(new ControlRow("textformat"_symbol, localized("Rule Name"), m_name));

    m_volume = new QComboBox;
    m_volume->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_volume->setMinimumContentsLength(12);
    connect(m_volume, &QComboBox::currentIndexChanged, this, &StorageRuleEditorView::volumeChosen);
    m_panel->addWidget(
        new ControlRow("externaldrive.connected.to.line.below"_symbol, localized("Local Volume"), m_volume));

    m_mountOnLaunch = new ToggleSwitch;
    connect(m_mountOnLaunch, &QAbstractButton::toggled, this, [this](bool checked) {
        run(m_rules->setMountOnAppLaunch(checked, m_ruleID), "Changing mount on launch");
    });
    m_panel->addWidget(new ControlRow("bell.and.waves.left.and.right"_symbol,
                                      localized("Mount on App Launch"), m_mountOnLaunch));

    m_postQuit = new QComboBox;
    for (PostQuitAction action : allPostQuitActions) {
        m_postQuit->addItem(postQuitActionTitle(action));
    }
    connect(m_postQuit, &QComboBox::currentIndexChanged, this, [this](int index) {
        run(m_rules->setPostQuitAction(allPostQuitActions.value(index), m_ruleID),
            "Changing the post-quit action");
    });
    m_panel->addWidget(new ControlRow("arrow.counterclockwise.circle"_symbol,
                                      localized("After All Editing Apps Quit"), m_postQuit));

    auto* delay = new QWidget;
    auto* delayLayout = new QHBoxLayout(delay);
    delayLayout->setContentsMargins(0, 0, 0, 0);
    delayLayout->setSpacing(6);
    m_delay = new QLineEdit;
    m_delay->setFixedWidth(64);
    m_delay->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_delay->setAlignment(Qt::AlignRight);
    m_delay->setAccessibleName(localized("Delay"));
    // Whatever whole number is typed goes to the rule as typed; only the stepper keeps to its range.
    m_delay->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d{1,9}")), m_delay));
    // A typed delay is kept until the field is left or Return is pressed; one set while the field
    // has no focus, by an assistive tool, is saved at once.
    connect(m_delay, &QLineEdit::textChanged, this, [this] {
        m_delayDraft = true;
        if (!m_delay->hasFocus()) {
            commitDelay();
        }
    });
    m_delay->installEventFilter(this);
    auto* seconds = new QLabel(localized("seconds"));
    seconds->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(seconds);
    m_delayDown = stepButton(QStringLiteral("−"), localized("Shorter Delay"));
    m_delayUp = stepButton(QStringLiteral("+"), localized("Longer Delay"));
    connect(m_delayDown, &QToolButton::clicked, this, [this] { stepDelay(-1); });
    connect(m_delayUp, &QToolButton::clicked, this, [this] { stepDelay(1); });
    delayLayout->addWidget(m_delay);
    delayLayout->addWidget(seconds);
    delayLayout->addWidget(m_delayDown);
    delayLayout->addWidget(m_delayUp);
    m_panel->addWidget(new ControlRow("timer"_symbol, localized("Delay"), delay));

    m_notifications = new ToggleSwitch;
    connect(m_notifications, &QAbstractButton::toggled, this, [this](bool checked) {
        run(m_rules->setShowNotifications(checked, m_ruleID), "Changing notifications");
    });
    m_panel->addWidget(new ControlRow("bell"_symbol, localized("Show Notifications"), m_notifications));

    m_panel->addWidget(new SectionTitle(localized("Bound Apps"), "square.grid.2x2"_symbol));
    m_noApps = new QLabel(localized("No apps configured."));
    m_noApps->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(m_noApps);
    m_panel->addWidget(m_noApps);
    m_appGrid = new QGridLayout;
    m_appGrid->setSpacing(WorkspaceLayout::rowSpacing);
    m_panel->contentLayout()->addLayout(m_appGrid);

    m_panel->addSeparator();
    m_delete = new QPushButton(SymbolIcons::icon("trash"_symbol), localized("Delete Rule"));
    connect(m_delete, &QPushButton::clicked, this,
            [this] { startDetached(deleteRule(this, m_rules, m_ruleID), "Deleting a rule"); });
    auto* deleteRow = new QHBoxLayout;
    deleteRow->addWidget(m_delete);
    deleteRow->addStretch(1);
    m_panel->contentLayout()->addLayout(deleteRow);
}

std::optional<StorageTargetRule> StorageRuleEditorView::rule() const {
    if (!m_rules) {
        return std::nullopt;
    }
    for (const StorageTargetRule& candidate : m_rules->configuration().storageRules) {
        if (candidate.id == m_ruleID && candidate.target.asLocalVolume()) {
            return candidate;
        }
    }
    return std::nullopt;
}

void StorageRuleEditorView::render() {
    const std::optional<StorageTargetRule> current = rule();
    m_panel->setVisible(current.has_value());
    m_missing->setVisible(!current);
    if (!current) {
        return;
    }
    renderName(*current);
    renderVolumes(*current);
    m_mountOnLaunch->setStoredValue(current->mountOnAppLaunch);
    {
        const QSignalBlocker quiet(m_postQuit);
        m_postQuit->setCurrentIndex(int(allPostQuitActions.indexOf(current->postQuitAction)));
    }
    if (!m_delayDraft) {
        const QSignalBlocker quiet(m_delay);
        m_delay->setText(QString::number(current->unmountDelaySeconds));
    }
    m_delayDown->setEnabled(current->unmountDelaySeconds > minimumDelay);
    m_delayUp->setEnabled(current->unmountDelaySeconds < maximumDelay);
    m_notifications->setStoredValue(current->showNotifications);
    renderApps(*current, m_rules->configuration().appTriggers);
}

void StorageRuleEditorView::renderName(const StorageTargetRule& rule) {
    // A name still being typed or saved is the user's; the stored one only replaces it when they
    // differ in more than the white space the store trims, or when a save was refused.
    if (m_nameDraft->pending || m_nameDraft->saving) {
        return;
    }
    const QString typed = m_name->text().trimmed();
    if (m_name->hasFocus() && (typed == rule.name || typed.isEmpty())) {
        return;
    }
    if (m_name->text() != rule.name) {
        const QSignalBlocker quiet(m_name);
        m_name->setText(rule.name);
        // A long name is shown from its start, not from where the cursor would land.
        m_name->setCursorPosition(0);
    }
    m_name->setToolTip(rule.name);
}

void StorageRuleEditorView::renderVolumes(const StorageTargetRule& rule) {
    // The same external volumes as the add menu offers, so a rule is never moved to the system
    // disk by a slip; a rule already on an internal volume keeps it, marked as such.
    const LocalVolumeTarget& target = *rule.target.asLocalVolume();
    QList<std::pair<QString, QString>> options;
    QList<DriveInfo> volumes = m_volumes ? m_volumes->volumes() : QList<DriveInfo>{};
    volumes.removeIf([](const DriveInfo& volume) { return !volume.isExternal; });
    const bool listed = std::any_of(volumes.begin(), volumes.end(), [&](const DriveInfo& volume) {
        return volume.volumeUUID == target.volumeUUID;
    });
    if (!listed) {
        options.append({volumeTitle(target.volumeName, target.isExternal), target.volumeUUID});
    }
    for (const DriveInfo& volume : volumes) {
        options.append({volume.volumeName, volume.volumeUUID});
    }
    bool same = options.size() == m_volume->count();
    for (int index = 0; same && index < m_volume->count(); ++index) {
        same = m_volume->itemText(index) == options[index].first &&
               m_volume->itemData(index).toString() == options[index].second;
    }
    const QSignalBlocker quiet(m_volume);
    if (!same) {
        m_volume->clear();
        for (const auto& [name, uuid] : options) {
            m_volume->addItem(name, uuid);
            m_volume->setItemData(m_volume->count() - 1, name, Qt::ToolTipRole);
        }
    }
    m_volume->setCurrentIndex(m_volume->findData(target.volumeUUID));
    m_volume->setToolTip(volumeTitle(target.volumeName, target.isExternal));
}

void StorageRuleEditorView::setInstalledPresetIdentifiers(QSet<QString> identifiers) {
    m_installedPresetIdentifiers = std::move(identifiers);
    m_shownTriggerIDs.clear();
    render();
}

void StorageRuleEditorView::renderApps(const StorageTargetRule& rule, QList<AppTrigger> triggers) {
    std::stable_partition(triggers.begin(), triggers.end(), [this](const AppTrigger& trigger) {
        return AppPresetService::isInstalled(trigger, m_installedPresetIdentifiers);
    });
    QList<QUuid> ids;
    for (const AppTrigger& trigger : triggers) {
        ids.append(trigger.id);
    }
    m_noApps->setVisible(triggers.isEmpty());
    if (ids != m_shownTriggerIDs) {
        for (QCheckBox* toggle : std::as_const(m_appToggles)) {
            toggle->parentWidget()->hide();
            toggle->parentWidget()->deleteLater();
        }
        m_appToggles.clear();
        m_shownTriggerIDs = ids;
        for (qsizetype index = 0; index < triggers.size(); ++index) {
            auto* tile = new SettingsPanel;
            tile->contentLayout()->setContentsMargins(10, 6, 10, 6);
            auto* toggle = new QCheckBox;
            toggle->setFont(TarnwellTheme::bodyFont());
            const QString name = triggers[index].displayName;
            toggle->setText(toggle->fontMetrics().elidedText(name, Qt::ElideRight, 130));
            // Below the installed ones, an editor this machine lacks says so when asked about.
            if (AppPresetService::isInstalled(triggers[index], m_installedPresetIdentifiers)) {
                toggle->setToolTip(name);
            } else {
                toggle->setToolTip(localizedFormat("%@ (not installed)", {name}));
                toggle->setAccessibleDescription(localized("Not installed"));
            }
            toggle->setAccessibleName(name);
            const QUuid triggerID = triggers[index].id;
            connect(toggle, &QCheckBox::toggled, this, [this, triggerID](bool checked) {
                run(checked ? m_rules->bindAppTrigger(triggerID, m_ruleID)
                            : m_rules->unbindAppTrigger(triggerID, m_ruleID),
                    "Binding an application");
            });
            tile->addWidget(toggle);
            m_appGrid->addWidget(tile, int(index / 2), int(index % 2));
            m_appToggles.append(toggle);
        }
    }
    for (qsizetype index = 0; index < triggers.size(); ++index) {
        const QSignalBlocker quiet(m_appToggles[index]);
        m_appToggles[index]->setChecked(rule.appTriggerIDs.contains(triggers[index].id));
    }
}

void StorageRuleEditorView::nameEdited(const QString& text) {
    m_nameDraft->text = text;
    m_nameDraft->pending = true;
    if (!m_nameDraft->saving) {
        startDetached(saveNames(this, m_rules, m_ruleID, m_nameDraft), "Renaming a rule");
    }
}

QCoro::Task<> StorageRuleEditorView::saveNames(QPointer<StorageRuleEditorView> editor,
                                               QPointer<RulesViewModel> viewModel, QUuid ruleID,
                                               std::shared_ptr<NameDraft> draft) {
    // One rename at a time, always of this editor's rule, and always the latest text: keystrokes
    // made while a save runs are folded into the next one, so typing neither floods the store nor
    // lets an older name overtake a newer one.
    draft->saving = true;
    {
        const SavingFlag reset{draft->saving};
        while (draft->pending && viewModel) {
            draft->pending = false;
            co_await viewModel->setRuleName(draft->text, ruleID);
        }
    }
    if (editor) {
        editor->render();
    }
}

void StorageRuleEditorView::volumeChosen(int index) {
    const QString uuid = m_volume->itemData(index).toString();
    const std::optional<StorageTargetRule> current = rule();
    if (!current || !m_volumes || uuid == current->target.asLocalVolume()->volumeUUID) {
        return;
    }
    for (const DriveInfo& volume : m_volumes->volumes()) {
        if (volume.volumeUUID == uuid && volume.isExternal) {
            run(m_rules->rebindRule(m_ruleID, volume), "Choosing the rule's volume");
            return;
        }
    }
    // The volume went away while the list was open: the picker shows the stored one again.
    render();
}

bool StorageRuleEditorView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_delay) {
        const bool leaving = event->type() == QEvent::FocusOut;
        const bool entered =
            event->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                                                  static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        if (leaving || entered) {
            commitDelay();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void StorageRuleEditorView::commitDelay() {
    if (!m_delayDraft) {
        return;
    }
    m_delayDraft = false;
    bool valid = false;
    const qint64 seconds = m_delay->text().toLongLong(&valid);
    const std::optional<StorageTargetRule> current = rule();
    if (valid && current && seconds != current->unmountDelaySeconds) {
        run(m_rules->setUnmountDelaySeconds(seconds, m_ruleID), "Changing the unmount delay");
    }
    // An empty field, a lone minus sign or a refused save shows the stored value again.
    render();
}

void StorageRuleEditorView::stepDelay(qint64 direction) {
    // A typed value counts first, so the step starts from what the field shows.
    commitDelay();
    const std::optional<StorageTargetRule> current = rule();
    if (!current) {
        return;
    }
    const qint64 next =
        std::clamp(current->unmountDelaySeconds + direction * delayStep, minimumDelay, maximumDelay);
    if (next != current->unmountDelaySeconds) {
        run(m_rules->setUnmountDelaySeconds(next, m_ruleID), "Changing the unmount delay");
    }
}

void StorageRuleEditorView::run(QCoro::Task<> task, const char* purpose) {
    // A refused save publishes the stored configuration again, which re-renders every control.
    startDetached(std::move(task), purpose);
}

QCoro::Task<> StorageRuleEditorView::deleteRule(QPointer<StorageRuleEditorView> editor,
                                                QPointer<RulesViewModel> viewModel, QUuid ruleID) {
    if (!viewModel || !editor || !editor->rule()) {
        co_return;
    }
    // Texts made before the suspension: g++ 12 cannot keep a literal's temporary across it.
    QString question = localizedFormat("Delete %@?", {editor->rule()->name});
    QString detail = localized(
        "Its drive is no longer mounted or released for you. The drive and its files stay as they are.");
    QString confirm = localized("Delete Rule");
    const bool confirmed =
        co_await ConfirmationDialog::ask(editor, std::move(question), std::move(detail), std::move(confirm));
    if (!confirmed || !viewModel) {
        co_return;
    }
    co_await viewModel->deleteRule(ruleID);
    if (editor && !editor->rule()) {
        Q_EMIT editor->deleted();
    }
}

} // namespace tarnwell
