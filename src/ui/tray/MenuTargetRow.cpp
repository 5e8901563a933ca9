#include "ui/tray/MenuTargetRow.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

MenuTargetRow::MenuTargetRow(const MenuBarViewModel::TargetRow& row, QWidget* parent)
    : QWidget(parent)
    , m_row(row)
    , m_icon(new SymbolLabel(SymbolName{row.statusIcon}, TarnwellTheme::rowIconSize, this))
    , m_title(new QLabel(this))
    , m_status(new QLabel(this)) {
    m_title->setFont(TarnwellTheme::bodyFont());
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setFont(TarnwellTheme::bodyFont());
    m_status->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_icon);
    layout->addWidget(m_title, 1);
    layout->addWidget(m_status);
    render();
}

void MenuTargetRow::setRow(const MenuBarViewModel::TargetRow& row) {
    if (row == m_row) {
        return;
    }
    m_row = row;
    render();
}

void MenuTargetRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        render();
    }
}

void MenuTargetRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    render();
}

void MenuTargetRow::render() {
    m_icon->setSymbol(SymbolName{m_row.statusIcon});
    m_icon->setColorKind(m_row.statusColorKind);
    // One line each: a long rule name gives way to the status, which is elided only as a last resort.
    m_status->setText(m_row.statusTitle);
    const int statusWidth = qMin(m_status->sizeHint().width(), width() / 2);
    m_status->setText(m_status->fontMetrics().elidedText(m_row.statusTitle, Qt::ElideRight, statusWidth));
    m_title->setText(
        m_title->fontMetrics().elidedText(m_row.title, Qt::ElideRight, qMax(0, m_title->width())));
    m_title->setToolTip(m_row.title);
    TarnwellTheme::setTextColor(m_status, TarnwellTheme::statusColor(m_row.statusColorKind, palette()));
    setAccessibleName(m_row.title);
    setAccessibleDescription(m_row.statusTitle);
}

} // namespace tarnwell
