#include "ui/pages/volumes/VolumesView.h"

#include "app/TarnwellContainer.h"
#include "app/VolumesViewModel.h"
#include "core/support/Localization.h"
#include "core/support/Observe.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SelectableList.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/components/WorkspaceEmptyState.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/components/WorkspaceSplitView.h"
#include "ui/pages/volumes/VolumeDetailRow.h"
#include "ui/pages/volumes/VolumeRow.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>

namespace tarnwell {

namespace {

QWidget* labelled(QWidget* icon, const QString& text, bool iconFirst) {
    auto* widget = new QWidget;
    auto* label = new QLabel(text, widget);
    label->setFont(TarnwellTheme::bodyFont());
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(iconFirst ? icon : label);
    layout->addWidget(iconFirst ? label : icon);
    if (!iconFirst) {
        label->setBuddy(icon);
    }
    return widget;
}

} // namespace

VolumesView::VolumesView(TarnwellContainer* container, QWidget* parent)
    : WorkspacePage(localized("Volumes"), "externaldrive.connected.to.line.below"_symbol, parent)
    , m_viewModel(container->volumesViewModel())
    , m_showAll(new ToggleSwitch)
    , m_refreshButton(new PrimaryActionButton(localized("Refresh"), "arrow.clockwise"_symbol, false))
    , m_split(new WorkspaceSplitView)
    , m_error(new NoticeLabel) {
    auto* updatedIcon = new SymbolLabel("checkmark.shield.fill"_symbol, TarnwellTheme::rowIconSize);
    updatedIcon->setColorKind(MenuBarViewModel::StatusColorKind::Green);
    m_updatedLabel = labelled(updatedIcon, localized("Updated just now"), true);
    m_updatedLabel->setVisible(false);
    m_showAll->setAccessibleName(localized("Show All Volumes"));
    m_refreshButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The button draws its symbol beside the text, which its size hint leaves out.
    m_refreshButton->setMinimumWidth(
        m_refreshButton->fontMetrics().horizontalAdvance(m_refreshButton->text()) +
        TarnwellTheme::rowIconSize + 32);
    addHeaderAction(m_updatedLabel);
    addHeaderAction(labelled(m_showAll, localized("Show All Volumes"), false));
    addHeaderAction(m_refreshButton);

    auto* leading = new QWidget;
    auto* leadingLayout = new QVBoxLayout(leading);
    leadingLayout->setContentsMargins(0, 0, 0, 0);
    leadingLayout->setSpacing(WorkspaceLayout::rowSpacing);
    m_emptyList = new WorkspaceEmptyState(
        "externaldrive.badge.questionmark"_symbol, localized("No volumes found."),
        localized("Refresh volumes or enable showing all volumes to inspect available disks."));
    m_emptyList->setVisible(false);
    leadingLayout->addWidget(m_emptyList);
    m_rows = new SelectableList;
    m_rows->setAccessibleName(localized("Volumes"));
    m_rows->rows()->setSpacing(4);
    leadingLayout->addWidget(m_rows);
    m_error->setFont(TarnwellTheme::captionFont());
    leadingLayout->addWidget(m_error);
    leadingLayout->addStretch(1);
    m_split->setLeading(leading);
    addContent(m_split, 1);

    connect(m_refreshButton, &QPushButton::clicked, this, [this] {
        m_refreshButton->playTapFeedback();
        startRefresh();
    });
    connect(m_showAll, &ToggleSwitch::toggled, this, [this](bool checked) {
        startDetached(applyShowAllVolumes(m_viewModel, checked), "Changing whether all volumes are shown");
    });
    if (!m_viewModel) {
        return;
    }
    observe(
        m_viewModel.data(), &VolumesViewModel::configurationChanged, &VolumesViewModel::showAllVolumes,
        [this](bool showAll) { m_showAll->setStoredValue(showAll); }, this);
    connect(m_viewModel, &VolumesViewModel::volumesChanged, this, &VolumesView::renderList);
    connect(m_viewModel, &VolumesViewModel::selectedVolumeIDChanged, this, &VolumesView::renderSelection);
    connect(m_viewModel, &VolumesViewModel::errorMessageChanged, this, &VolumesView::renderError);
    renderList();
    renderError();
}

void VolumesView::showEvent(QShowEvent* event) {
    WorkspacePage::showEvent(event);
    if (!m_hasAppeared && !event->spontaneous()) {
        m_hasAppeared = true;
        startRefresh();
    }
}

void VolumesView::startRefresh() {
    if (!m_isRefreshing) {
        startDetached(refresh(this), "Refreshing volumes");
    }
}

QCoro::Task<> VolumesView::refresh(QPointer<VolumesView> view) {
    const QPointer<VolumesViewModel> viewModel = view->m_viewModel;
    if (!viewModel) {
        co_return;
    }
    view->setRefreshState(true, false);
    co_await viewModel->refreshVolumes();
    if (view) {
        view->setRefreshState(false, viewModel && !viewModel->errorMessage());
    }
}

QCoro::Task<> VolumesView::applyShowAllVolumes(QPointer<VolumesViewModel> viewModel, bool showAll) {
    if (viewModel) {
        co_await viewModel->setShowAllVolumes(showAll);
    }
}

void VolumesView::setRefreshState(bool isRefreshing, bool didRefresh) {
    m_isRefreshing = isRefreshing;
    m_didRefresh = didRefresh;
    m_refreshButton->setEnabled(!isRefreshing);
    m_updatedLabel->setVisible(didRefresh);
    Q_EMIT refreshStateChanged();
}

void VolumesView::renderList() {
    // A listing mostly repeats the last one, so rows are kept and given their volume again; only
    // the count decides what is built or dropped.
    const QList<DriveInfo>& volumes = m_viewModel->volumes();
    m_emptyList->setVisible(volumes.isEmpty());
    while (m_volumeRows.size() > volumes.size()) {
        // The row that was clicked may still be handling its event: it goes once the event is done.
        VolumeRow* row = m_volumeRows.takeLast();
        row->hide();
        row->deleteLater();
    }
    for (qsizetype index = 0; index < volumes.size(); ++index) {
        if (index < m_volumeRows.size()) {
            if (m_volumeRows[index]->volume() != volumes[index]) {
                m_volumeRows[index]->setVolume(volumes[index]);
            }
            continue;
        }
        auto* row = new VolumeRow(volumes[index]);
        connect(row, &VolumeRow::activated, this, [this](const DriveInfo& chosen) {
            if (m_viewModel) {
                m_viewModel->selectVolume(chosen);
            }
        });
        m_rows->addItem(row);
        m_volumeRows.append(row);
    }
    renderSelection();
}

void VolumesView::renderSelection() {
    const std::optional<QString>& selectedID = m_viewModel->selectedVolumeID();
    for (VolumeRow* row : std::as_const(m_volumeRows)) {
        row->setSelected(selectedID == row->volume().id());
    }
    const std::optional<DriveInfo> volume = m_viewModel->selectedVolume();
    // Every listing reports the selection again; the same volume keeps its panel.
    if (m_hasDetail && volume == m_detailVolume) {
        return;
    }
    m_hasDetail = true;
    m_detailVolume = volume;
    if (!volume) {
        m_split->setDetail(
            new WorkspaceEmptyState("info.circle"_symbol, localized("No volume selected"),
                                    localized("Select a volume to inspect its disk identity.")));
        return;
    }
    auto* panel = new SettingsPanel;
    panel->addWidget(new SectionTitle(localized("Volume Details"), "info.circle"_symbol));
    panel->addWidget(new VolumeDetailRow(localized("Volume UUID"), volume->volumeUUID));
    panel->addWidget(new VolumeDetailRow(localized("File System"), volume->fileSystem));
    panel->addWidget(new VolumeDetailRow(localized("Mount Point"), volume->mountPoint));
    panel->addWidget(new VolumeDetailRow(localized("Bus Protocol"), volume->busProtocol));
    panel->addWidget(new VolumeDetailRow(localized("Disk Identifier"), volume->diskIdentifier));
    panel->addWidget(new VolumeDetailRow(
        localized("Mount State"), volume->isMounted ? localized("Mounted") : localized("Not mounted")));
    auto* detail = new QWidget;
    auto* layout = new QVBoxLayout(detail);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    layout->addStretch(1);
    m_split->setDetail(detail);
}

void VolumesView::renderError() {
    m_error->setNotice(m_viewModel->errorMessage());
}

} // namespace tarnwell
