#pragma once

#include "ui/components/WorkspacePage.h"

#include <QCoroTask>
#include <QPointer>

class QLabel;

namespace tarnwell {

class NoticeLabel;
class RulesViewModel;
class SettingsViewModel;
class TarnwellContainer;
class ToggleSwitch;

// Application-wide preferences and the safety statement. Each switch shows the stored value (for
// launch at login, the system's state) and snaps back when a change is refused. Notifications are
// a setting of every rule: the switch is on when every rule notifies, says how many do when they
// differ, and sets them all.
class GeneralSettingsView : public WorkspacePage {
    Q_OBJECT

public:
    explicit GeneralSettingsView(TarnwellContainer* container, QWidget* parent = nullptr);

    ToggleSwitch* notificationsSwitch() const { return m_notifications; }
    QLabel* notificationsCaption() const { return m_notificationsCaption; }

private:
    static QCoro::Task<> applyNotifications(QPointer<RulesViewModel> viewModel, bool value);
    static QCoro::Task<> applyLaunchAtLogin(QPointer<GeneralSettingsView> view,
                                            QPointer<TarnwellContainer> container, bool value);
    void rebind(SettingsViewModel* viewModel);
    void render();
    void renderNotifications();

    QPointer<TarnwellContainer> m_container;
    QPointer<SettingsViewModel> m_viewModel;
    QPointer<RulesViewModel> m_rules;
    QList<QMetaObject::Connection> m_bindings;
    ToggleSwitch* m_notifications;
    QLabel* m_notificationsCaption;
    ToggleSwitch* m_launchAtLogin;
    NoticeLabel* m_error;
    // What the last change of launch at login came to, when it failed.
    std::optional<QString> m_launchNotice;
};

} // namespace tarnwell
