#pragma once

#include "app/DashboardViewModel.h"
#include "ui/theme/SymbolName.h"

class QPushButton;
class QWidget;

namespace tarnwell {

class ElidedLabel;

// The dashboard's small building blocks that hold no state of their own.
class DashboardComponents {
public:
    // Icon and title heading a panel.
    static QWidget* sectionHeader(const QString& title, SymbolName symbol);
    // Icon, title and the value in the secondary style; the caller keeps the value to update it.
    static QWidget* factRow(SymbolName symbol, const QString& title, ElidedLabel* value);
    // A compact button with icon and title; dimmed and inert while disabled.
    static QPushButton* ruleActionButton(SymbolName symbol, const QString& title);
    // The "Get Started" card with one line per step, in order.
    static QWidget* onboardingEmptyState(const QList<DashboardViewModel::OnboardingStep>& steps);
    // One line of text with a leading icon, elided to its width.
    static QWidget* iconLine(SymbolName symbol, ElidedLabel* text);
};

} // namespace tarnwell
