#pragma once

#include "ui/components/WorkspacePage.h"

#include <QCoroTask>
#include <QPointer>

class QLabel;

namespace tarnwell {

class SettingsViewModel;
class TarnwellContainer;
class ToggleSwitch;

// Application-wide preferences and the safety statement. Each switch shows the stored value
// (for launch at login, the system's state) and snaps back when a change is refused.
class GeneralSettingsView : public WorkspacePage {
    Q_OBJECT

public:
    explicit GeneralSettingsView(TarnwellContainer* container, QWidget* parent = nullptr);

private:
    static QCoro::Task<> applyNotifications(QPointer<GeneralSettingsView> view,
                                            QPointer<SettingsViewModel> viewModel, bool value);
    static QCoro::Task<> applyLaunchAtLogin(QPointer<GeneralSettingsView> view,
                                            QPointer<TarnwellContainer> container, bool value);
    void rebind(SettingsViewModel* viewModel);
    void render();

    QPointer<TarnwellContainer> m_container;
    QPointer<SettingsViewModel> m_viewModel;
    QList<QMetaObject::Connection> m_bindings;
    ToggleSwitch* m_notifications;
    ToggleSwitch* m_launchAtLogin;
    QLabel* m_error;
};

} // namespace tarnwell
