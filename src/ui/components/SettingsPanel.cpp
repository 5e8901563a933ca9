#include "ui/components/SettingsPanel.h"

#include "ui/components/WorkspaceLayout.h"
#include "ui/theme/TarnwellTheme.h"

#include <QFrame>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

SettingsPanel::SettingsPanel(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this)) {
    const int padding = WorkspaceLayout::panelPadding;
    m_layout->setContentsMargins(padding, padding, padding, padding);
    m_layout->setSpacing(WorkspaceLayout::rowSpacing);
}

void SettingsPanel::addWidget(QWidget* widget, int stretch) {
    m_layout->addWidget(widget, stretch);
}

void SettingsPanel::addSeparator() {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    m_layout->addWidget(line);
}

void SettingsPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TarnwellTheme::paintPanel(painter, rect(), palette());
}

} // namespace tarnwell
