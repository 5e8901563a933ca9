#pragma once

#include "core/model/TarnwellConfiguration.h"

#include <QWidget>

namespace tarnwell {

class ElidedLabel;
class SymbolLabel;
class ToggleSwitch;

// One rule in the rules page's list: name, policy, how many applications it is bound to, and its
// "Enabled" switch. Clicking the card selects the rule.
class RuleCard : public QWidget {
    Q_OBJECT

public:
    explicit RuleCard(QWidget* parent = nullptr);

    void setRule(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers, bool isSelected);
    const StorageTargetRule& rule() const { return m_rule; }
    bool isSelected() const { return m_selected; }
    ToggleSwitch* enabledSwitch() const { return m_enabled; }
    QString appCountText() const;

    // "No apps bound", "1 app bound" or "%lld apps bound", counting only applications that exist.
    static QString appCountText(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers);

Q_SIGNALS:
    void selected(QUuid id);
    void enabledChanged(QUuid id, bool isEnabled);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    StorageTargetRule m_rule;
    bool m_selected = false;
    SymbolLabel* m_icon;
    ElidedLabel* m_name;
    ElidedLabel* m_policy;
    ElidedLabel* m_apps;
    ToggleSwitch* m_enabled;
};

} // namespace tarnwell
