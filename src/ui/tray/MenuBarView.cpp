#include "ui/tray/MenuBarView.h"

#include "core/support/Localization.h"
#include "ui/components/DetachedTask.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/SymbolLabel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/TarnwellTheme.h"
#include "ui/tray/MenuActionButton.h"
#include "ui/tray/MenuTargetRow.h"
#include "ui/tray/MenuValueRow.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

MenuBarView::MenuBarView(TarnwellContainer* container, TarnwellContainer::OpenWindow openWindow,
                         QWidget* parent)
    : QWidget(parent)
    , m_container(container)
    , m_viewModel(container->menuViewModel())
    , m_openWindow(std::move(openWindow)) {
    setObjectName(QStringLiteral("MenuBarView"));
    setAccessibleName(localized("Tarnwell"));
    setFixedWidth(panelWidth);
    buildLayout();
    connect(m_viewModel, &MenuBarViewModel::presentationChanged, this, &MenuBarView::render);
    connect(m_viewModel, &MenuBarViewModel::ruleChanged, this, &MenuBarView::render);
    connect(new QShortcut(QKeySequence::Quit, this), &QShortcut::activated, this,
            &MenuBarView::quitRequested);
    render();
}

void MenuBarView::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    // A little tighter than a page, so both primary buttons keep their whole titles in 318 px.
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    m_statusIcon = new SymbolLabel("externaldrive"_symbol, TarnwellTheme::headerIconSize, this);
    m_statusIcon->setTiled(true);
    auto* name = new QLabel(localized("Tarnwell"), this);
    name->setFont(TarnwellTheme::sectionTitleFont());
    m_statusTitle = new QLabel(this);
    m_statusTitle->setFont(TarnwellTheme::font(13, QFont::DemiBold));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    titles->addWidget(name);
    titles->addWidget(m_statusTitle);
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(m_statusIcon);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    auto* targets = new SettingsPanel(this);
    targets->contentLayout()->setContentsMargins(12, 10, 12, 10);
    m_targetRows = new QVBoxLayout;
    m_targetRows->setSpacing(WorkspaceLayout::rowSpacing);
    targets->contentLayout()->addLayout(m_targetRows);
    targets->addSeparator();
    m_apps = new MenuValueRow("app.badge"_symbol, localized("Apps"), {}, targets);
    targets->addWidget(m_apps);
    layout->addWidget(targets);

    m_mount =
        new PrimaryActionButton(localized("Mount Missing"), "externaldrive.badge.plus"_symbol, true, this);
    m_unmount = new PrimaryActionButton(localized("Unmount Ready"), "eject"_symbol, false, this);
    connect(m_mount, &QPushButton::clicked, this, &MenuBarView::mountMissing);
    connect(m_unmount, &QPushButton::clicked, this, &MenuBarView::unmountReady);
    auto* primary = new QHBoxLayout;
    primary->setSpacing(6);
    primary->addWidget(m_mount);
    primary->addWidget(m_unmount);
    layout->addLayout(primary);

    auto* open = new MenuActionButton(localized("Open Tarnwell"), "macwindow"_symbol, this);
    auto* copy = new MenuActionButton(localized("Copy Logs"), "doc.on.doc"_symbol, this);
    connect(open, &QAbstractButton::clicked, this, &MenuBarView::openTarnwell);
    connect(copy, &QAbstractButton::clicked, this, [this] {
        if (m_container) {
            m_notice->setNotice(localizedCount("Copied %lld log lines", m_container->copyLogsToPasteboard()),
                                NoticeLabel::Kind::Outcome);
            adjustSize();
        }
    });
    layout->addWidget(open);
    layout->addWidget(copy);

    auto* launchLabel = new QLabel(localized("Launch at Login"), this);
    launchLabel->setFont(TarnwellTheme::bodyFont());
    m_launchAtLogin = new ToggleSwitch(this);
    m_launchAtLogin->setAccessibleName(launchLabel->text());
    m_launchAtLogin->setToolTip(launchLabel->text());
    launchLabel->setBuddy(m_launchAtLogin);
    connect(m_launchAtLogin, &QAbstractButton::toggled, this, &MenuBarView::launchAtLoginClicked);
    auto* launch = new QHBoxLayout;
    launch->setContentsMargins(2, 0, 2, 0);
    launch->addWidget(launchLabel);
    launch->addStretch(1);
    launch->addWidget(m_launchAtLogin);
    layout->addLayout(launch);
    // What the last command came to, said here where it was asked for.
    m_notice = new NoticeLabel(this);
    m_notice->setFont(TarnwellTheme::captionFont());
    layout->addWidget(m_notice);

    layout->addWidget(divider(this));
    auto* quit = new MenuActionButton(localized("Quit"), "power"_symbol, this);
    connect(quit, &QAbstractButton::clicked, this, &MenuBarView::quitRequested);
    layout->addWidget(quit);
}

void MenuBarView::render() {
    if (!m_viewModel) {
        return;
    }
    const QColor statusColor = TarnwellTheme::statusColor(m_viewModel->statusColorKind(), palette());
    m_statusIcon->setSymbol(SymbolName{m_viewModel->statusIcon()});
    m_statusIcon->setColorKind(m_viewModel->statusColorKind());
    m_statusTitle->setText(m_viewModel->statusTitle());
    TarnwellTheme::setTextColor(m_statusTitle, statusColor);

    const QList<MenuBarViewModel::TargetRow> rows = m_viewModel->targetRows();
    while (QLayoutItem* item = m_targetRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (rows.isEmpty()) {
        m_targetRows->addWidget(new MenuValueRow("externaldrive"_symbol, localized("Target Drive"),
                                                 localized("No Drive Selected")));
    }
    for (const MenuBarViewModel::TargetRow& row : rows) {
        m_targetRows->addWidget(new MenuTargetRow(row));
    }
    m_apps->setValue(m_viewModel->enabledAppSummary());
    m_mount->setEnabled(m_viewModel->canMountMissing());
    m_unmount->setEnabled(m_viewModel->canUnmountReady());
    m_launchAtLogin->setStoredValue(m_viewModel->rule().launchAtLogin);
    adjustSize();
}

void MenuBarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window system repeats the event when it maps the window; one showing is one refresh.
    if (!event->spontaneous() && m_container) {
        m_notice->setNotice(std::nullopt);
        startDetached(m_container->refreshDriveStatusForMenuPresentation(), "Refreshing the drive status");
    }
}

void MenuBarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Rounded corners need a composited window; otherwise the panel fills its rectangle.
    const qreal corner = testAttribute(Qt::WA_TranslucentBackground) ? TarnwellTheme::radius : 0;
    QPainterPath outline;
    outline.addRoundedRect(area, corner, corner);
    painter.setClipPath(outline);
    TarnwellTheme::paintBackdrop(painter, rect(), palette());
    painter.setClipping(false);
    painter.setPen(TarnwellTheme::separator(palette()).darker(140));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}

void MenuBarView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        render();
    }
}

void MenuBarView::mountMissing() {
    m_mount->playTapFeedback();
    if (m_container) {
        startDetached(m_container->mountMissingTargets(), "Mounting the missing drives");
    }
}

void MenuBarView::unmountReady() {
    m_unmount->playTapFeedback();
    if (m_container) {
        startDetached(m_container->unmountReadyTargets(), "Unmounting the ready drives");
    }
}

void MenuBarView::openTarnwell() {
    if (m_container) {
        m_container->openSettings(m_openWindow);
    }
    if (isWindow()) {
        close();
    }
}

void MenuBarView::launchAtLoginClicked(bool enabled) {
    startDetached(applyLaunchAtLogin(this, m_container, enabled), "Changing launch at login");
}

QCoro::Task<> MenuBarView::applyLaunchAtLogin(QPointer<MenuBarView> view,
                                              QPointer<TarnwellContainer> container, bool enabled) {
    if (!container) {
        co_return;
    }
    const std::optional<QString> notice = co_await container->setLaunchAtLogin(enabled);
    // The switch shows the system's state, which may differ from what was asked for, and a
    // failure is said under it.
    if (view) {
        view->m_notice->setNotice(notice);
        view->render();
    }
}

} // namespace tarnwell
