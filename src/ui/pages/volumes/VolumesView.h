#pragma once

#include "core/model/DriveInfo.h"
#include "ui/components/WorkspacePage.h"

#include <QCoroTask>
#include <QPointer>

class QLabel;
class QVBoxLayout;

namespace tarnwell {

class NoticeLabel;
class PrimaryActionButton;
class SelectableList;
class TarnwellContainer;
class ToggleSwitch;
class VolumeRow;
class VolumesViewModel;
class WorkspaceSplitView;

// The volumes the disk service reports, optionally with internal and system ones, and the disk
// identity of the selected one. The list is refreshed when the page first appears.
class VolumesView : public WorkspacePage {
    Q_OBJECT
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY refreshStateChanged)
    Q_PROPERTY(bool didRefresh READ didRefresh NOTIFY refreshStateChanged)

public:
    explicit VolumesView(TarnwellContainer* container, QWidget* parent = nullptr);

    bool isRefreshing() const { return m_isRefreshing; }
    // The last refresh succeeded.
    bool didRefresh() const { return m_didRefresh; }

Q_SIGNALS:
    void refreshStateChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    static QCoro::Task<> refresh(QPointer<VolumesView> view);
    static QCoro::Task<> applyShowAllVolumes(QPointer<VolumesViewModel> viewModel, bool showAll);
    void startRefresh();
    void setRefreshState(bool isRefreshing, bool didRefresh);
    void renderList();
    void renderSelection();
    void renderError();

    QPointer<VolumesViewModel> m_viewModel;
    QWidget* m_updatedLabel;
    ToggleSwitch* m_showAll;
    PrimaryActionButton* m_refreshButton;
    WorkspaceSplitView* m_split;
    SelectableList* m_rows;
    NoticeLabel* m_error;
    QList<VolumeRow*> m_volumeRows;
    QWidget* m_emptyList;
    // The volume the detail column shows, once it shows one or the empty state.
    std::optional<DriveInfo> m_detailVolume;
    bool m_hasDetail = false;
    bool m_isRefreshing = false;
    bool m_didRefresh = false;
    bool m_hasAppeared = false;
};

} // namespace tarnwell
