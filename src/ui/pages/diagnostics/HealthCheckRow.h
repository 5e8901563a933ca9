#pragma once

#include "app/DiagnosticsViewModel.h"
#include "app/MenuBarViewModel.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class SymbolLabel;

// One health check: its state as a coloured symbol and a word, what was found, and, when it is
// not fine, what to do and any lines worth copying, such as a rule.
class HealthCheckRow : public QWidget {
    Q_OBJECT

public:
    explicit HealthCheckRow(QWidget* parent = nullptr);

    void setRow(const DiagnosticsViewModel::Row& row);

    QString stateText() const;
    QString findingText() const;
    QString adviceText() const;
    QString detailsText() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    MenuBarViewModel::StatusColorKind m_kind = MenuBarViewModel::StatusColorKind::Secondary;
    SymbolLabel* m_icon;
    QLabel* m_title;
    QLabel* m_state;
    QLabel* m_finding;
    QLabel* m_advice;
    QLabel* m_details;
};

} // namespace tarnwell
