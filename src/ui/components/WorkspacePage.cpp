#include "ui/components/WorkspacePage.h"

#include "ui/components/WorkspaceHeader.h"
#include "ui/components/WorkspaceLayout.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tarnwell {

WorkspacePage::WorkspacePage(const QString& title, SymbolName symbol, QWidget* parent)
    : QScrollArea(parent)
    , m_header(new WorkspaceHeader(title, std::move(symbol)))
    , m_column(new QVBoxLayout) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The window's backdrop shows through the page.
    viewport()->setAutoFillBackground(false);
    setAccessibleName(title);

    auto* body = new QWidget;
    body->setAutoFillBackground(false);
    auto* column = new QWidget(body);
    column->setMaximumWidth(WorkspaceLayout::maxContentWidth);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(WorkspaceLayout::sectionSpacing);
    m_column->addWidget(m_header);
    column->setLayout(m_column);

    auto* centring = new QHBoxLayout(body);
    // Content that grows after the page is shown (rows arriving later) must grow the scrolled
    // area too; without this the scroll area keeps the body at its first size and squeezes it.
    centring->setSizeConstraint(QLayout::SetMinimumSize);
    centring->setContentsMargins(WorkspaceLayout::pageHorizontalPadding, WorkspaceLayout::pageTopPadding,
                                 WorkspaceLayout::pageHorizontalPadding, WorkspaceLayout::pageBottomPadding);
    centring->addStretch(0);
    centring->addWidget(column, 1);
    centring->addStretch(0);
    setWidget(body);
}

void WorkspacePage::addHeaderAction(QWidget* action) {
    m_header->addAction(action);
}

void WorkspacePage::addContent(QWidget* content, int stretch) {
    m_column->addWidget(content, stretch);
}

} // namespace tarnwell
