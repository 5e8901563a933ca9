#include "ui/pages/rules/RulesView.h"

#include "core/support/Localization.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SelectableList.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/WorkspaceEmptyState.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/components/WorkspaceSplitView.h"
#include "ui/pages/rules/RuleCard.h"
#include "ui/pages/rules/StorageRuleEditorView.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

// Network shares are listed to say they are coming; the entry can be neither selected nor used.
QWidget* sharesEntry() {
    auto* entry = new QWidget;
    entry->setEnabled(false);
    auto* layout = new QHBoxLayout(entry);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    layout->addWidget(new SymbolLabel("network"_symbol, TarnwellTheme::headerIconSize, entry));
    auto* title = new QLabel(localized("NAS / SMB Shares"), entry);
    title->setFont(TarnwellTheme::font(13, QFont::DemiBold));
    auto* caption = new QLabel(localized("Coming in v1.1 beta"), entry);
    caption->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(caption);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(title);
    text->addWidget(caption);
    layout->addLayout(text, 1);
    return entry;
}

WorkspaceEmptyState* noSelection() {
    return new WorkspaceEmptyState("slider.horizontal.3"_symbol, localized("Rule Editor"),
                                   localized("Select a rule to edit its drive, apps, and safety policy."));
}

} // namespace

RulesView::RulesView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Rules"), "list.bullet.rectangle"_symbol, parent)
    , m_container(container)
    , m_rules(container->rulesViewModel())
    , m_volumes(container->volumesViewModel())
    , m_error(new NoticeLabel)
    , m_add(new PrimaryActionButton(localized("Add Local Drive Rule"), "plus"_symbol, true))
    , m_addMenu(new QMenu(m_add))
    , m_refresh(new QPushButton(localized("Refresh Volumes")))
    , m_split(new WorkspaceSplitView)
    , m_cardList(new SelectableList)
    , m_emptyRules(new WorkspaceEmptyState(
          "externaldrive.fill"_symbol, localized("No storage rules yet."),
          localized("Add a local drive rule to connect apps with a target volume."))) {
    m_add->setToolTip(localized("Add Local Drive Rule"));
    // The button draws its own label; it is given room for the whole title next to its icon.
    m_add->setMinimumWidth(m_add->fontMetrics().horizontalAdvance(m_add->text()) +
                           TarnwellTheme::rowIconSize + 40);
    m_add->setMenu(m_addMenu);
    m_addMenu->setToolTipsVisible(true);
    connect(m_addMenu, &QMenu::aboutToShow, this, &RulesView::buildAddMenu);
    addHeaderAction(m_add);
    connect(m_refresh, &QPushButton::clicked, this, &RulesView::refreshVolumes);
    connect(container, &TarnwellContainer::installedPresetIdentifiersChanged, this, [this] {
        if (StorageRuleEditorView* shown = editor(); shown && m_container) {
            shown->setInstalledPresetIdentifiers(m_container->installedPresetIdentifiers());
        }
    });
    addHeaderAction(m_refresh);
    setRefreshing(false);

    addContent(m_error);

    auto* leading = new QWidget;
    auto* leadingLayout = new QVBoxLayout(leading);
    leadingLayout->setContentsMargins(0, 0, 0, 0);
    leadingLayout->setSpacing(WorkspaceLayout::rowSpacing);
    m_cardList->setAccessibleName(localized("Rules"));
    m_cardList->rows()->setSpacing(WorkspaceLayout::rowSpacing);
    leadingLayout->addWidget(m_emptyRules);
    leadingLayout->addWidget(m_cardList);
    leadingLayout->addWidget(sharesEntry());
    m_split->setLeading(leading);
    m_split->setDetail(noSelection());
    addContent(m_split, 1);

    connect(m_rules, &RulesViewModel::configurationChanged, this, &RulesView::renderRules);
    connect(m_rules, &RulesViewModel::errorMessageChanged, this, &RulesView::renderError);
    connect(m_volumes, &VolumesViewModel::volumesChanged, this, &RulesView::renderAddMenu);
    renderRules();
    renderAddMenu();
    renderError();
}

QList<StorageTargetRule> RulesView::editableRules() const {
    QList<StorageTargetRule> rules;
    if (m_rules) {
        for (const StorageTargetRule& rule : m_rules->configuration().storageRules) {
            if (rule.target.asLocalVolume()) {
                rules.append(rule);
            }
        }
    }
    return rules;
}

QList<DriveInfo> RulesView::candidateVolumes() const {
    QList<DriveInfo> volumes;
    if (m_volumes) {
        // Showing all volumes is how a rule gets an internal volume.
        for (const DriveInfo& volume : m_volumes->volumes()) {
            if (volume.isExternal || m_volumes->showAllVolumes()) {
                volumes.append(volume);
            }
        }
    }
    return volumes;
}

StorageRuleEditorView* RulesView::editor() const {
    return qobject_cast<StorageRuleEditorView*>(m_split->detail());
}

void RulesView::selectRule(std::optional<QUuid> id) {
    m_selectedRuleID = id;
    reconcileSelection();
    renderRules();
}

void RulesView::reconcileSelection() {
    const QList<StorageTargetRule> rules = editableRules();
    const bool stays =
        m_selectedRuleID && std::any_of(rules.begin(), rules.end(), [this](const StorageTargetRule& rule) {
            return rule.id == *m_selectedRuleID;
        });
    if (!stays) {
        m_selectedRuleID = rules.isEmpty() ? std::nullopt : std::optional(rules.first().id);
    }
}

void RulesView::renderRules() {
    const QList<StorageTargetRule> rules = editableRules();
    QList<QUuid> ids;
    for (const StorageTargetRule& rule : rules) {
        ids.append(rule.id);
    }
    if (ids != m_shownRuleIDs) {
        m_shownRuleIDs = ids;
        reconcileSelection();
        // A card's switch may be emitting the signal that led here, so old cards go once control
        // returns to the event loop.
        for (RuleCard* card : std::as_const(m_cards)) {
            card->hide();
            card->deleteLater();
        }
        m_cards.clear();
        for (qsizetype index = 0; index < rules.size(); ++index) {
            auto* card = new RuleCard;
            connect(card, &RuleCard::selected, this, [this](QUuid id) { selectRule(id); });
            connect(card, &RuleCard::enabledChanged, this, [this](QUuid id, bool isEnabled) {
                if (m_rules) {
                    startDetached(m_rules->setRuleEnabled(id, isEnabled), "Enabling a rule");
                }
            });
            m_cardList->addItem(card);
            m_cards.append(card);
        }
    }
    m_emptyRules->setVisible(rules.isEmpty());
    const QList<AppTrigger> triggers = m_rules ? m_rules->configuration().appTriggers : QList<AppTrigger>{};
    for (qsizetype index = 0; index < rules.size(); ++index) {
        m_cards[index]->setRule(rules[index], triggers, rules[index].id == m_selectedRuleID);
    }
    renderDetail();
}

void RulesView::renderDetail() {
    StorageRuleEditorView* shown = editor();
    if (!m_selectedRuleID) {
        if (shown || !m_split->detail()) {
            m_split->setDetail(noSelection());
        }
        return;
    }
    if (!shown || shown->ruleID() != *m_selectedRuleID) {
        auto* replacement = new StorageRuleEditorView(*m_selectedRuleID, m_rules, m_volumes);
        if (m_container) {
            replacement->setInstalledPresetIdentifiers(m_container->installedPresetIdentifiers());
        }
        connect(replacement, &StorageRuleEditorView::deleted, this, [this] { selectRule(std::nullopt); });
        m_split->setDetail(replacement);
    }
}

QMenu* RulesView::addMenu() {
    buildAddMenu();
    return m_addMenu;
}

void RulesView::renderAddMenu() {
    // Every showing of the page lists the volumes again, and a machine may list hundreds: the
    // menu is built when it opens, unless it is open now.
    m_addMenuIsCurrent = false;
    if (m_addMenu->isVisible()) {
        buildAddMenu();
    }
}

void RulesView::buildAddMenu() {
    if (m_addMenuIsCurrent) {
        return;
    }
    m_addMenuIsCurrent = true;
    m_addMenu->clear();
    const QList<DriveInfo> volumes = candidateVolumes();
    for (const DriveInfo& volume : volumes) {
        const QString name =
            volume.isExternal ? volume.volumeName : localizedFormat("%@ (Internal)", {volume.volumeName});
        QAction* action =
            m_addMenu->addAction(m_addMenu->fontMetrics().elidedText(name, Qt::ElideRight, 280));
        action->setToolTip(name);
        connect(action, &QAction::triggered, this,
                [this, volume] { startDetached(addRule(this, m_rules, volume), "Adding a rule"); });
    }
    if (!volumes.isEmpty()) {
        m_addMenu->addSeparator();
    }
    connect(m_addMenu->addAction(SymbolIcons::icon("arrow.triangle.2.circlepath"_symbol),
                                 localized("Refresh Volumes")),
            &QAction::triggered, this, &RulesView::refreshVolumes);
    // An empty menu says how to get a volume into it: plug a drive in, or list every volume.
    if (volumes.isEmpty()) {
        m_addMenu->addAction(localized("Plug in an external drive, then refresh."))->setEnabled(false);
        if (m_volumes && !m_volumes->showAllVolumes()) {
            connect(m_addMenu->addAction(localized("Show All Volumes")), &QAction::triggered, this,
                    [this] { startDetached(showAllVolumes(m_volumes), "Showing all volumes"); });
        }
    }
}

void RulesView::renderError() {
    m_error->setNotice(m_rules ? m_rules->errorMessage() : std::nullopt);
}

void RulesView::showEvent(QShowEvent* event) {
    WorkspacePage::showEvent(event);
    if (!event->spontaneous()) {
        refreshVolumes();
    }
}

void RulesView::refreshVolumes() {
    if (!m_isRefreshingVolumes && m_volumes) {
        startDetached(refresh(this, m_volumes), "Refreshing the volumes");
    }
}

void RulesView::setRefreshing(bool refreshing) {
    m_isRefreshingVolumes = refreshing;
    m_refresh->setEnabled(!refreshing);
    m_refresh->setIcon(
        SymbolIcons::icon(refreshing ? "arrow.clockwise"_symbol : "arrow.triangle.2.circlepath"_symbol));
}

QCoro::Task<> RulesView::showAllVolumes(QPointer<VolumesViewModel> volumes) {
    if (volumes) {
        co_await volumes->setShowAllVolumes(true);
    }
}

QCoro::Task<> RulesView::refresh(QPointer<RulesView> view, QPointer<VolumesViewModel> volumes) {
    view->setRefreshing(true);
    co_await volumes->refreshVolumes();
    if (view) {
        view->setRefreshing(false);
    }
}

QCoro::Task<> RulesView::addRule(QPointer<RulesView> view, QPointer<RulesViewModel> rules, DriveInfo volume) {
    if (!rules) {
        co_return;
    }
    const std::optional<StorageTargetRule> added = co_await rules->addRule(std::move(volume));
    if (view && added) {
        view->selectRule(added->id);
    }
}

} // namespace tarnwell
