#include "ui/pages/volumes/VolumeDetailRow.h"

#include "core/support/Localization.h"
#include "ui/components/ElidedLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QBoxLayout>
#include <QLabel>

namespace tarnwell {

namespace {

constexpr int besideSpacing = 12;
constexpr int stackedSpacing = 2;

} // namespace

VolumeDetailRow::VolumeDetailRow(const QString& title, const std::optional<QString>& value, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_value(new ElidedLabel(value && !value->isEmpty() ? *value : localized("Unknown"), this))
    , m_layout(new QBoxLayout(QBoxLayout::LeftToRight, this)) {
    m_title->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(m_title);
    m_value->setFont(TarnwellTheme::bodyFont());
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_layout->setContentsMargins(0, 2, 0, 2);
    m_layout->setSpacing(besideSpacing);
    m_layout->addWidget(m_title);
    m_layout->addWidget(m_value, 1);
}

QString VolumeDetailRow::value() const {
    return m_value->fullText();
}

bool VolumeDetailRow::isStacked() const {
    return m_layout->direction() == QBoxLayout::TopToBottom;
}

void VolumeDetailRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Only the width decides, and stacking changes only the height, so this settles at once.
    const bool stack = m_title->sizeHint().width() + besideSpacing + m_value->sizeHint().width() > width();
    if (stack != isStacked()) {
        m_layout->setDirection(stack ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
        m_layout->setSpacing(stack ? stackedSpacing : besideSpacing);
    }
}

} // namespace tarnwell
