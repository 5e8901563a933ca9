#include "ui/pages/settings/GeneralSettingsView.h"

#include "app/TarnwellContainer.h"
#include "core/support/Localization.h"
#include "core/support/Observe.h"
#include "ui/components/ControlRow.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/pages/settings/SettingsInfoRow.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwell {

GeneralSettingsView::GeneralSettingsView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Settings"), "gearshape"_symbol, parent)
    , m_container(container)
    , m_rules(container->rulesViewModel())
    , m_notifications(new ToggleSwitch)
    , m_notificationsCaption(new QLabel)
    , m_launchAtLogin(new ToggleSwitch)
    , m_error(new NoticeLabel) {
    auto* comingSoon = new QLabel(localized("Coming Soon"));
    comingSoon->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(comingSoon);
    // A screen reader reads the row's title as the name and the text as its value.
    comingSoon->setAccessibleName(localized("Check for Updates"));
    comingSoon->setAccessibleDescription(comingSoon->text());
    m_notificationsCaption->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(m_notificationsCaption);
    auto* notifications = new QWidget;
    auto* notificationsLayout = new QHBoxLayout(notifications);
    notificationsLayout->setContentsMargins(0, 0, 0, 0);
    notificationsLayout->setSpacing(8);
    notificationsLayout->addWidget(m_notificationsCaption);
    notificationsLayout->addWidget(m_notifications);
    m_notifications->setAccessibleName(localized("Notifications"));

    auto* preferences = new SettingsPanel;
    preferences->addWidget(
        new SettingsInfoRow("globe"_symbol, localized("Language"),
                            localized("Uses macOS system language. In-app language switching is planned.")));
    preferences->addWidget(new ControlRow("bell"_symbol, localized("Notifications"), notifications));
    preferences->addWidget(
        new ControlRow("power.circle"_symbol, localized("Launch at Login"), m_launchAtLogin));
    preferences->addWidget(
        new ControlRow("arrow.down.circle"_symbol, localized("Check for Updates"), comingSoon));
    addContent(preferences);

    auto* safety = new SettingsPanel;
    safety->addWidget(new SectionTitle(localized("Safety"), "checkmark.shield"_symbol));
    auto* statement =
        new QLabel(localized("Tarnwell never force-unmounts a drive. Auto-unmount only runs after "
                             "all bound editing apps quit and the target is safe to eject."));
    statement->setFont(TarnwellTheme::bodyFont());
    statement->setWordWrap(true);
    TarnwellTheme::makeSecondary(statement);
    safety->addWidget(statement);
    addContent(safety);

    addContent(m_error);
    contentLayout()->addStretch(1);

    connect(m_notifications, &ToggleSwitch::toggled, this, [this](bool checked) {
        startDetached(applyNotifications(m_rules, checked), "Changing notifications");
    });
    connect(m_launchAtLogin, &ToggleSwitch::toggled, this, [this](bool checked) {
        startDetached(applyLaunchAtLogin(this, m_container, checked), "Changing launch at login");
    });
    if (m_rules) {
        connect(m_rules, &RulesViewModel::configurationChanged, this,
                &GeneralSettingsView::renderNotifications);
        connect(m_rules, &RulesViewModel::errorMessageChanged, this, &GeneralSettingsView::render);
    }
    observe(
        container, &TarnwellContainer::settingsViewModelChanged, &TarnwellContainer::settingsViewModel,
        [this](SettingsViewModel* viewModel) { rebind(viewModel); }, this);
    renderNotifications();
}

void GeneralSettingsView::rebind(SettingsViewModel* viewModel) {
    for (const QMetaObject::Connection& binding : std::as_const(m_bindings)) {
        disconnect(binding);
    }
    m_bindings.clear();
    m_viewModel = viewModel;
    if (viewModel) {
        m_bindings.append(
            connect(viewModel, &SettingsViewModel::ruleChanged, this, &GeneralSettingsView::render));
        m_bindings.append(
            connect(viewModel, &SettingsViewModel::errorMessageChanged, this, &GeneralSettingsView::render));
    }
    render();
}

void GeneralSettingsView::renderNotifications() {
    const QList<StorageTargetRule> rules =
        m_rules ? m_rules->configuration().storageRules : QList<StorageTargetRule>{};
    const auto notifying = std::count_if(
        rules.begin(), rules.end(), [](const StorageTargetRule& rule) { return rule.showNotifications; });
    const bool mixed = notifying > 0 && notifying < rules.size();
    m_notifications->setEnabled(!rules.isEmpty());
    m_notifications->setStoredValue(!rules.isEmpty() && notifying == rules.size());
    m_notificationsCaption->setText(
        rules.isEmpty() ? localized("No rules yet")
        : mixed ? localizedFormat("On for %lld of %lld rules", {qint64(notifying), qint64(rules.size())})
                : QString());
    m_notificationsCaption->setVisible(!m_notificationsCaption->text().isEmpty());
    m_notifications->setAccessibleDescription(m_notificationsCaption->text());
}

void GeneralSettingsView::render() {
    m_launchAtLogin->setEnabled(m_viewModel);
    if (m_viewModel) {
        m_launchAtLogin->setStoredValue(m_viewModel->rule().launchAtLogin);
    }
    // The newest failure of this page: a refused rule change, the settings' own, or launch at login.
    // Passed on by reference rather than copied into one optional: g++ 12 at -O3 takes assigning an
    // empty optional for reading an uninitialised string.
    static const std::optional<QString> none;
    const std::optional<QString>& rules = m_rules ? m_rules->errorMessage() : none;
    const std::optional<QString>& settings = m_viewModel ? m_viewModel->errorMessage() : none;
    m_error->setNotice(m_launchNotice ? m_launchNotice : rules ? rules : settings);
}

QCoro::Task<> GeneralSettingsView::applyNotifications(QPointer<RulesViewModel> viewModel, bool value) {
    if (viewModel) {
        co_await viewModel->setShowNotificationsForAllRules(value);
    }
}

QCoro::Task<> GeneralSettingsView::applyLaunchAtLogin(QPointer<GeneralSettingsView> view,
                                                      QPointer<TarnwellContainer> container, bool value) {
    std::optional<QString> notice;
    if (container) {
        notice = co_await container->setLaunchAtLogin(value);
    }
    // A refused change publishes nothing; the switch still has to show the system's state, and
    // the page says why it did not change.
    if (view) {
        view->m_launchNotice = notice;
        view->render();
    }
}

} // namespace tarnwell
