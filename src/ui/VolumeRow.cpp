#include "ui/VolumeRow.h"

#include "core/support/Localization.h"
#include "ui/ElidedLabel.h"
#include "ui/SymbolLabel.h"
#include "ui/TarnwellTheme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

VolumeRow::VolumeRow(DriveInfo volume, QWidget* parent)
    : QWidget(parent)
    , m_volume(std::move(volume)) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(m_volume.volumeName);

    auto* icon = new SymbolLabel(m_volume.isMounted ? "externaldrive.fill"_symbol : "externaldrive"_symbol,
                                 TarnwellTheme::tileIconSize, this);
    icon->setColorKind(m_volume.isMounted ? MenuBarViewModel::StatusColorKind::Accent
                                          : MenuBarViewModel::StatusColorKind::Secondary);
    auto* name = new ElidedLabel(m_volume.volumeName, this);
    name->setFont(TarnwellTheme::font(13, QFont::DemiBold));
    auto* location = new ElidedLabel(m_volume.mountPoint.value_or(localized("Not mounted")), this);
    location->setFont(TarnwellTheme::captionFont());
    TarnwellTheme::makeSecondary(location);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(name);
    text->addWidget(location);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(10);
    layout->addWidget(icon);
    layout->addLayout(text, 1);
}

void VolumeRow::setSelected(bool selected) {
    if (selected != m_isSelected) {
        m_isSelected = selected;
        update();
    }
}

void VolumeRow::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    if (m_isSelected) {
        QPainter painter(this);
        TarnwellTheme::paintSelection(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), palette());
    }
}

void VolumeRow::mousePressEvent(QMouseEvent* event) {
    // Taking the press is what makes the release come here.
    event->accept();
}

void VolumeRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT activated(m_volume);
    }
}

void VolumeRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT activated(m_volume);
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tarnwell
