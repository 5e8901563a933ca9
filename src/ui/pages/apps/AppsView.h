#pragma once

#include "core/model/AppTrigger.h"
#include "ui/components/WorkspacePage.h"

#include <QCoroTask>
#include <QPointer>
#include <memory>
#include <optional>

class QLabel;

namespace tarnwell {

class AppManagementRow;
class DesktopEntryIndex;
class NoticeLabel;
class SettingsPanel;
class SettingsViewModel;
class TarnwellContainer;
class WorkspaceEmptyState;

// The editing applications that can trigger rules: enable or disable each, re-point it to
// another application, delete it, or add one from disk.
class AppsView : public WorkspacePage {
    Q_OBJECT

public:
    explicit AppsView(TarnwellContainer* container, QWidget* parent = nullptr);
    ~AppsView() override;

private:
    static QCoro::Task<> toggle(QPointer<SettingsViewModel> viewModel, AppTrigger trigger, bool isEnabled);
    static QCoro::Task<> choose(QPointer<AppsView> page, QPointer<SettingsViewModel> viewModel,
                                std::optional<AppTrigger> trigger);
    static QCoro::Task<> remove(QPointer<AppsView> page, QPointer<SettingsViewModel> viewModel,
                                AppTrigger trigger);
    void rebind(SettingsViewModel* viewModel);
    void render();
    void renderError();

    QPointer<TarnwellContainer> m_container;
    QPointer<SettingsViewModel> m_viewModel;
    QList<QMetaObject::Connection> m_bindings;
    std::shared_ptr<const DesktopEntryIndex> m_index;
    NoticeLabel* m_error;
    WorkspaceEmptyState* m_empty;
    SettingsPanel* m_panel = nullptr;
    QList<AppManagementRow*> m_rows;
};

} // namespace tarnwell
