#pragma once

#include "core/model/DriveInfo.h"

#include <QWidget>

namespace tarnwell {

class ElidedLabel;
class SymbolLabel;

// One listed volume: its drive icon, name and mount point; clicking it, or Space or Return
// while it has focus, asks for it to be selected.
class VolumeRow : public QWidget {
    Q_OBJECT

public:
    explicit VolumeRow(DriveInfo volume, QWidget* parent = nullptr);

    const DriveInfo& volume() const { return m_volume; }
    bool isSelected() const { return m_isSelected; }
    void setSelected(bool selected);

Q_SIGNALS:
    void activated(const tarnwell::DriveInfo& volume);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    DriveInfo m_volume;
    bool m_isSelected = false;
};

} // namespace tarnwell
