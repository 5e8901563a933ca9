#pragma once

#include <QWidget>
#include <optional>

class QBoxLayout;
class QLabel;

namespace tarnwell {

class ElidedLabel;

// One fact of a volume's identity: its title, and its value or "Unknown" when it has none. A value
// too long to stand beside its title, such as a volume UUID in a narrow panel, goes on a line of
// its own below it rather than losing its end.
class VolumeDetailRow : public QWidget {
    Q_OBJECT

public:
    VolumeDetailRow(const QString& title, const std::optional<QString>& value, QWidget* parent = nullptr);

    QString value() const;
    bool isStacked() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_title;
    ElidedLabel* m_value;
    QBoxLayout* m_layout;
};

} // namespace tarnwell
