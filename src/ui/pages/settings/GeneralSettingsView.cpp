#include "ui/pages/settings/GeneralSettingsView.h"

#include "app/TarnwellContainer.h"
#include "core/support/Localization.h"
#include "core/support/Observe.h"
#include "ui/components/ControlRow.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/pages/settings/SettingsInfoRow.h"
#include "ui/theme/TarnwellTheme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwell {

GeneralSettingsView::GeneralSettingsView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Settings"), "gearshape"_symbol, parent)
    , m_container(container)
    , m_notifications(new ToggleSwitch)
    , m_launchAtLogin(new ToggleSwitch)
    , m_error(new QLabel) {
    auto* comingSoon = new QLabel(localized("Coming Soon"));
    comingSoon->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(comingSoon);
    auto* preferences = new SettingsPanel;
    preferences->addWidget(
        new SettingsInfoRow("globe"_symbol, localized("Language"),
                            localized("Uses macOS system language. In-app language switching is planned.")));
    preferences->addWidget(new ControlRow("bell"_symbol, localized("Notifications"), m_notifications));
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

    m_error->setFont(TarnwellTheme::bodyFont());
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TarnwellTheme::setTextColor(m_error, TarnwellTheme::red(palette()));
    addContent(m_error);
    contentLayout()->addStretch(1);

    connect(m_notifications, &ToggleSwitch::clicked, this, [this](bool checked) {
        startDetached(applyNotifications(this, m_viewModel, checked), "Changing notifications");
    });
    connect(m_launchAtLogin, &ToggleSwitch::clicked, this, [this](bool checked) {
        startDetached(applyLaunchAtLogin(this, m_container, checked), "Changing launch at login");
    });
    observe(
        container, &TarnwellContainer::settingsViewModelChanged, &TarnwellContainer::settingsViewModel,
        [this](SettingsViewModel* viewModel) { rebind(viewModel); }, this);
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

void GeneralSettingsView::render() {
    m_notifications->setEnabled(m_viewModel);
    m_launchAtLogin->setEnabled(m_viewModel);
    if (!m_viewModel) {
        m_error->hide();
        return;
    }
    m_notifications->setChecked(m_viewModel->rule().showNotifications);
    m_launchAtLogin->setChecked(m_viewModel->rule().launchAtLogin);
    const std::optional<QString>& message = m_viewModel->errorMessage();
    m_error->setText(message.value_or(QString()));
    m_error->setVisible(message.has_value());
}

QCoro::Task<> GeneralSettingsView::applyNotifications(QPointer<GeneralSettingsView> view,
                                                      QPointer<SettingsViewModel> viewModel, bool value) {
    if (viewModel) {
        co_await viewModel->setShowNotifications(value);
    }
    if (view) {
        view->render();
    }
}

QCoro::Task<> GeneralSettingsView::applyLaunchAtLogin(QPointer<GeneralSettingsView> view,
                                                      QPointer<TarnwellContainer> container, bool value) {
    if (container) {
        co_await container->setLaunchAtLogin(value);
    }
    // A refused change publishes nothing; the switch still has to show the system's state.
    if (view) {
        view->render();
    }
}

} // namespace tarnwell
