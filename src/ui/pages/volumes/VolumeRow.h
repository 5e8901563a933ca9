#pragma once

#include "core/model/DriveInfo.h"
#include "ui/components/SelectableItem.h"

#include <QPixmap>
#include <QWidget>

namespace tarnwell {

// One listed volume: its drive icon, name and mount point; clicking it, or Space or Return
// while it has focus, asks for it to be selected. A page may list hundreds of volumes, so the row
// draws its icon and texts itself rather than holding a widget for each.
class VolumeRow : public QWidget, public SelectableItem {
    Q_OBJECT

public:
    explicit VolumeRow(DriveInfo volume, QWidget* parent = nullptr);

    const DriveInfo& volume() const { return m_volume; }
    void setVolume(DriveInfo volume);
    // The second line: the mount point, or "Not mounted".
    QString location() const;
    // The second line as shown: the location, after "Internal" for a volume inside the machine.
    QString detail() const;
    bool isSelected() const { return m_isSelected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    bool isSelectedItem() const override { return m_isSelected; }
    void selectItem() override { Q_EMIT activated(m_volume); }

Q_SIGNALS:
    void activated(const tarnwell::DriveInfo& volume);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void renderIcon();
    QColor iconColor() const;

    DriveInfo m_volume;
    bool m_isSelected = false;
    QPixmap m_icon;
};

} // namespace tarnwell
