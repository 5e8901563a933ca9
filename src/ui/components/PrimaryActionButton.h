#pragma once

#include "ui/theme/SymbolName.h"

#include <QPushButton>

namespace tarnwell {

// A primary button of the panel. A press shows the pressed look for a moment before the action's
// task starts, without waiting for the task, so every press is acknowledged at once.
class PrimaryActionButton : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(bool feedbackShown READ feedbackShown NOTIFY feedbackShownChanged)

public:
    static constexpr int feedbackMilliseconds = 140;

    PrimaryActionButton(const QString& title, SymbolName symbol, bool prominent, QWidget* parent = nullptr);

    bool feedbackShown() const { return m_feedbackShown; }
    void playTapFeedback();

Q_SIGNALS:
    void feedbackShownChanged(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFeedbackShown(bool shown);

    SymbolName m_symbol;
    bool m_prominent;
    bool m_feedbackShown = false;
    int m_feedbackGeneration = 0;
};

} // namespace tarnwell
