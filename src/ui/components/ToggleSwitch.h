#pragma once

#include <QAbstractButton>

namespace tarnwell {

// A switch-style checkable control: a rounded track with a knob, accent-filled when on. Space
// toggles it like any button; its accessible name is its text, or what the caller sets. Every
// change of its state, by mouse, keyboard or an assistive tool, is reported by toggled(); a stored
// value is shown with setStoredValue(), which reports nothing.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT

public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    void setStoredValue(bool checked);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarnwell
