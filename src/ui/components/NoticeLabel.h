#pragma once

#include <QLabel>
#include <optional>

namespace tarnwell {

// A line that tells what just happened where the user acted: a failure in the palette's red, or
// the outcome of a command in the secondary style. It is hidden while there is nothing to tell,
// its text can be selected and copied, and a failure is an alert to assistive tools, announced as
// each new one appears, since it appears away from the control that caused it.
class NoticeLabel : public QLabel {
    Q_OBJECT

public:
    enum class Kind { Failure, Outcome };

    explicit NoticeLabel(QWidget* parent = nullptr);

    void setNotice(const std::optional<QString>& text, Kind kind = Kind::Failure);
    Kind kind() const { return m_kind; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    Kind m_kind = Kind::Failure;
};

} // namespace tarnwell
