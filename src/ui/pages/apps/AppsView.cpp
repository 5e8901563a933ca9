#include "ui/pages/apps/AppsView.h"

#include "app/TarnwellContainer.h"
#include "core/support/Localization.h"
#include "core/support/Observe.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "ui/components/ConfirmationDialog.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/WorkspaceEmptyState.h"
#include "ui/pages/apps/AppManagementRow.h"
#include "ui/pages/apps/ApplicationChooserDialog.h"
#include "ui/theme/TarnwellTheme.h"

#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwell {

namespace {

// The entries of the catalog's latest reading, kept alive by it; null before the first.
std::shared_ptr<const DesktopEntryIndex> indexOf(const DesktopEntryCatalog& catalog) {
    const auto reading = catalog.current();
    return reading ? std::shared_ptr<const DesktopEntryIndex>(reading, &reading->index) : nullptr;
}

bool sameTriggers(const QList<AppManagementRow*>& rows, const QList<AppTrigger>& triggers) {
    if (rows.size() != triggers.size()) {
        return false;
    }
    for (qsizetype index = 0; index < rows.size(); ++index) {
        if (rows[index]->trigger().id != triggers[index].id) {
            return false;
        }
    }
    return true;
}

} // namespace

AppsView::AppsView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Apps"), "square.grid.2x2"_symbol, parent)
    , m_container(container)
    , m_index(indexOf(*container->desktopEntries()))
    , m_error(new NoticeLabel)
    , m_empty(new WorkspaceEmptyState(
          "app.badge"_symbol, localized("No apps configured."),
          localized("Add editing apps so Tarnwell can mount and release target drives automatically."))) {
    auto* add = new PrimaryActionButton(localized("Add Custom App"), "plus"_symbol, true);
    add->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The button draws its symbol beside the text, which its size hint leaves out.
    add->setMinimumWidth(add->fontMetrics().horizontalAdvance(add->text()) + TarnwellTheme::rowIconSize + 32);
    addHeaderAction(add);
    connect(add, &QPushButton::clicked, this, [this, add] {
        add->playTapFeedback();
        startDetached(choose(this, m_viewModel, std::nullopt), "Adding a custom app");
    });
    addContent(m_error);
    addContent(m_empty);
    contentLayout()->addStretch(1);
    observe(
        container, &TarnwellContainer::settingsViewModelChanged, &TarnwellContainer::settingsViewModel,
        [this](SettingsViewModel* viewModel) { rebind(viewModel); }, this);
    // An application installed or removed changes the names and icons the rows show.
    connect(container->desktopEntries().get(), &DesktopEntryCatalog::changed, this,
            [this, catalog = std::weak_ptr<DesktopEntryCatalog>(container->desktopEntries())] {
                if (const auto entries = catalog.lock()) {
                    m_index = indexOf(*entries);
                    for (AppManagementRow* row : std::as_const(m_rows)) {
                        row->setDesktopEntries(m_index);
                    }
                }
            });
    connect(container, &TarnwellContainer::installedPresetIdentifiersChanged, this, &AppsView::render);
}

AppsView::~AppsView() = default;

void AppsView::rebind(SettingsViewModel* viewModel) {
    for (const QMetaObject::Connection& binding : std::as_const(m_bindings)) {
        disconnect(binding);
    }
    m_bindings.clear();
    m_viewModel = viewModel;
    if (viewModel) {
        m_bindings.append(connect(viewModel, &SettingsViewModel::ruleChanged, this, &AppsView::render));
        m_bindings.append(
            connect(viewModel, &SettingsViewModel::errorMessageChanged, this, &AppsView::renderError));
    }
    render();
    renderError();
}

void AppsView::render() {
    QList<AppTrigger> triggers = m_viewModel ? m_viewModel->rule().appTriggers : QList<AppTrigger>{};
    // The applications this machine has come first; the others keep their order below them.
    const QSet<QString> installed = m_container ? m_container->installedPresetIdentifiers() : QSet<QString>{};
    std::stable_partition(triggers.begin(), triggers.end(), [&](const AppTrigger& trigger) {
        return AppPresetService::isInstalled(trigger, installed);
    });
    m_empty->setVisible(triggers.isEmpty());
    // The same applications in the same order: the rows follow in place, so the control the user
    // is working with stays where it is.
    if (sameTriggers(m_rows, triggers)) {
        for (qsizetype index = 0; index < triggers.size(); ++index) {
            m_rows[index]->setTrigger(triggers[index]);
            m_rows[index]->setInstalled(AppPresetService::isInstalled(triggers[index], installed));
        }
        return;
    }
    // A row may still be handling the click that led here: it goes once the event is done.
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
        m_panel = nullptr;
    }
    m_rows.clear();
    if (triggers.isEmpty()) {
        return;
    }
    m_panel = new SettingsPanel;
    for (const AppTrigger& trigger : triggers) {
        if (!m_rows.isEmpty()) {
            m_panel->addSeparator();
        }
        auto* row = new AppManagementRow(trigger, m_index);
        row->setInstalled(AppPresetService::isInstalled(trigger, installed));
        connect(row, &AppManagementRow::enabledChangeRequested, this, [this, row](bool isEnabled) {
            startDetached(toggle(m_viewModel, row->trigger(), isEnabled), "Enabling or disabling an app");
        });
        connect(row, &AppManagementRow::chooseAppRequested, this,
                [this, row] { startDetached(choose(this, m_viewModel, row->trigger()), "Choosing an app"); });
        connect(row, &AppManagementRow::deleteRequested, this,
                [this, row] { startDetached(remove(this, m_viewModel, row->trigger()), "Deleting an app"); });
        m_panel->addWidget(row);
        m_rows.append(row);
    }
    // Below the error message and the empty state, above the closing stretch.
    contentLayout()->insertWidget(contentLayout()->indexOf(m_empty) + 1, m_panel);
}

void AppsView::renderError() {
    m_error->setNotice(m_viewModel ? m_viewModel->errorMessage() : std::nullopt);
}

QCoro::Task<> AppsView::toggle(QPointer<SettingsViewModel> viewModel, AppTrigger trigger, bool isEnabled) {
    if (viewModel) {
        co_await viewModel->toggleTrigger(std::move(trigger), isEnabled);
    }
}

QCoro::Task<> AppsView::choose(QPointer<AppsView> page, QPointer<SettingsViewModel> viewModel,
                               std::optional<AppTrigger> trigger) {
    if (!page || !viewModel || !page->m_container) {
        co_return;
    }
    // The chooser belongs to this page's window and lists what the shared catalog has read. The
    // selection is made before the suspension: g++ 12 destroys a temporary in it twice.
    const std::shared_ptr<DesktopEntryCatalog> catalog = page->m_container->desktopEntries();
    SettingsViewModel::AppSelection selection = [page, catalog] {
        return ApplicationChooserDialog::choose(page, catalog);
    };
    co_await viewModel->chooseApp(std::move(trigger), std::move(selection));
}

QCoro::Task<> AppsView::remove(QPointer<AppsView> page, QPointer<SettingsViewModel> viewModel,
                               AppTrigger trigger) {
    if (!page || !viewModel) {
        co_return;
    }
    // Texts made before the suspension: g++ 12 cannot keep a literal's temporary across it.
    QString question = localizedFormat("Delete %@?", {trigger.displayName});
    QString detail =
        localized("Rules stop mounting drives when this app launches. You can add it again later.");
    QString confirm = localized("Delete App");
    const bool confirmed =
        co_await ConfirmationDialog::ask(page, std::move(question), std::move(detail), std::move(confirm));
    if (confirmed && viewModel) {
        co_await viewModel->removeTrigger(std::move(trigger));
    }
}

} // namespace tarnwell
