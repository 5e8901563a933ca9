#include "ui/components/ControlRow.h"

#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QLabel>

namespace tarnwell {

ControlRow::ControlRow(SymbolName symbol, const QString& title, QWidget* control, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_control(control) {
    m_title->setFont(TarnwellTheme::bodyFont());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(10);
    layout->addWidget(new SymbolLabel(std::move(symbol), TarnwellTheme::rowIconSize, this));
    layout->addWidget(m_title);
    layout->addStretch(1);
    if (m_control) {
        layout->addWidget(m_control);
        if (m_control->accessibleName().isEmpty()) {
            m_control->setAccessibleName(title);
        }
        m_title->setBuddy(m_control);
    }
}

QString ControlRow::title() const {
    return m_title->text();
}

} // namespace tarnwell
