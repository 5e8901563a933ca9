#pragma once

#include "app/MenuBarViewModel.h"
#include "core/model/TarnwellConfiguration.h"
#include "ui/components/SelectableItem.h"

#include <QPixmap>
#include <QWidget>

namespace tarnwell {

class ToggleSwitch;

// One rule in the rules page's list: name, policy, how many applications it is bound to, and its
// "Enabled" switch. Clicking or focusing the card selects the rule. A page may list many rules, so
// the card draws its icons and texts itself; only the switch is a widget of its own.
class RuleCard : public QWidget, public SelectableItem {
    Q_OBJECT

public:
    explicit RuleCard(QWidget* parent = nullptr);

    void setRule(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers, bool isSelected);
    const StorageTargetRule& rule() const { return m_rule; }
    bool isSelected() const { return m_selected; }
    ToggleSwitch* enabledSwitch() const { return m_enabled; }
    QString appCountText() const { return m_appCount; }

    // "No apps bound", "1 app bound" or "%lld apps bound", counting only applications that exist.
    static QString appCountText(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    bool isSelectedItem() const override { return m_selected; }
    void selectItem() override { Q_EMIT selected(m_rule.id); }

Q_SIGNALS:
    void selected(QUuid id);
    void enabledChanged(QUuid id, bool isEnabled);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void renderIcons();
    MenuBarViewModel::StatusColorKind iconColor() const;

    StorageTargetRule m_rule;
    bool m_selected = false;
    QString m_policy;
    QString m_appCount;
    QPixmap m_icon;
    QPixmap m_policyIcon;
    QPixmap m_appsIcon;
    ToggleSwitch* m_enabled;
};

} // namespace tarnwell
