#include "ui/window/MainWindowView.h"

#include "app/TarnwellContainer.h"
#include "core/support/Localization.h"
#include "ui/pages/dashboard/DashboardView.h"
#include "ui/theme/TarnwellTheme.h"
#include "ui/window/TarnwellSidebar.h"
#include "ui/window/TarnwellSidebarItem.h"
#include "ui/window/TarnwellSidebarStatusCard.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>

namespace tarnwell {

MainWindowView::MainWindowView(TarnwellContainer* container, MainWindowPages::Factory pages, QWidget* parent)
    : QWidget(parent)
    , m_container(container)
    , m_pages(std::move(pages))
    , m_sidebar(new TarnwellSidebar(this))
    , m_stack(new QStackedWidget(this)) {
    setObjectName(QStringLiteral("MainWindowView"));
    setWindowTitle(localized("Tarnwell"));
    setWindowIcon(QApplication::windowIcon());
    setAccessibleName(windowTitle());
    resize(defaultSize);
    setMinimumSize(minimumWindowSize);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_stack, 1);
    connect(m_sidebar, &TarnwellSidebar::sectionSelected, this, &MainWindowView::selectSection);
    connect(m_sidebar->statusCard(), &QAbstractButton::clicked, this,
            [this] { selectSection(MainWindowSection::Diagnostics); });

    const QList<MainWindowSection> sections = allMainWindowSections();
    for (int index = 0; index < sections.size(); ++index) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + index)), this);
        const MainWindowSection section = sections[index];
        connect(shortcut, &QShortcut::activated, this, [this, section] {
            selectSection(section);
            m_sidebar->item(section)->setFocus(Qt::ShortcutFocusReason);
        });
    }
    connect(new QShortcut(QKeySequence::Close, this), &QShortcut::activated, this, &QWidget::close);

    if (DashboardViewModel* dashboard = container->dashboardViewModel()) {
        // "All safe" reads as a headline in the card; any other summary is shown as it is.
        const auto render = [this, dashboard = QPointer<DashboardViewModel>(dashboard)] {
            if (!dashboard) {
                return;
            }
            TarnwellSidebarStatusCard* card = m_sidebar->statusCard();
            card->setStatusText(dashboard->isAllSafe() ? localized("All Good") : dashboard->safetySummary());
            card->setSymbol(SymbolName{dashboard->safetyIcon()}, dashboard->safetyColorKind());
        };
        connect(dashboard, &DashboardViewModel::presentationChanged, this, render);
        render();
    }
    selectSection(m_current);
}

void MainWindowView::selectSection(MainWindowSection section) {
    QWidget* shown = m_built.value(section);
    if (!shown) {
        shown = m_pages(section, m_container.data());
        m_built.insert(section, shown);
        if (auto* dashboard = qobject_cast<DashboardView*>(shown)) {
            connect(dashboard, &DashboardView::diagnosticsRequested, this,
                    [this] { selectSection(MainWindowSection::Diagnostics); });
        }
        m_stack->addWidget(shown);
    }
    m_stack->setCurrentWidget(shown);
    m_sidebar->setSelectedSection(section);
    if (section != m_current) {
        m_current = section;
        Q_EMIT sectionChanged(section);
    }
}

QWidget* MainWindowView::page(MainWindowSection section) const {
    return m_built.value(section);
}

QWidget* MainWindowView::currentPage() const {
    return m_stack->currentWidget();
}

void MainWindowView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintBackdrop(painter, rect(), palette());
    // A hairline between the sidebar and the pages.
    painter.setPen(TarnwellTheme::separator(palette()));
    const int edge = m_sidebar->geometry().right();
    painter.drawLine(edge, 0, edge, height());
}

} // namespace tarnwell
