#include "ui/VolumeDetailRow.h"

#include "core/support/Localization.h"
#include "ui/ElidedLabel.h"
#include "ui/TarnwellTheme.h"

#include <QHBoxLayout>

namespace tarnwell {

VolumeDetailRow::VolumeDetailRow(const QString& title, const std::optional<QString>& value, QWidget* parent)
    : QWidget(parent)
    , m_value(new ElidedLabel(value && !value->isEmpty() ? *value : localized("Unknown"), this)) {
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setFont(TarnwellTheme::bodyFont());
    TarnwellTheme::makeSecondary(titleLabel);
    m_value->setFont(TarnwellTheme::bodyFont());
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(12);
    layout->addWidget(titleLabel);
    layout->addWidget(m_value, 1);
}

QString VolumeDetailRow::value() const {
    return m_value->fullText();
}

} // namespace tarnwell
