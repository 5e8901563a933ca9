#pragma once

#include <QWidget>
#include <optional>

namespace tarnwell {

class ElidedLabel;

// One fact of a volume's identity: its title, and its value or "Unknown" when it has none.
class VolumeDetailRow : public QWidget {
    Q_OBJECT

public:
    VolumeDetailRow(const QString& title, const std::optional<QString>& value, QWidget* parent = nullptr);

    QString value() const;

private:
    ElidedLabel* m_value;
};

} // namespace tarnwell
