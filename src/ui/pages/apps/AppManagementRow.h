#pragma once

#include "core/model/AppTrigger.h"

#include <QWidget>
#include <memory>

class QLabel;
class QToolButton;

namespace tarnwell {

class AppManagementIcon;
class DesktopEntryIndex;
class ElidedLabel;
class ToggleSwitch;

// One editing application: its icon, name and identifiers, whether it is enabled, and the
// buttons that re-point it to another application or delete it. The row only asks; the page
// carries the change out and hands the stored trigger back through setTrigger().
class AppManagementRow : public QWidget {
    Q_OBJECT

public:
    AppManagementRow(AppTrigger trigger, std::shared_ptr<const DesktopEntryIndex> index,
                     QWidget* parent = nullptr);

    const AppTrigger& trigger() const { return m_trigger; }
    void setTrigger(AppTrigger trigger);
    void setDesktopEntries(std::shared_ptr<const DesktopEntryIndex> index);
    // A preset whose application this machine lacks says so; it stays listed, since a stored
    // rule may bind it.
    void setInstalled(bool isInstalled);
    bool isInstalled() const { return m_isInstalled; }

Q_SIGNALS:
    void enabledChangeRequested(bool isEnabled);
    void chooseAppRequested();
    void deleteRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();
    void styleCapsule();

    AppTrigger m_trigger;
    AppManagementIcon* m_icon;
    ElidedLabel* m_name;
    QLabel* m_presetCapsule;
    QLabel* m_notInstalled;
    bool m_isInstalled = true;
    ElidedLabel* m_identifiers;
    ToggleSwitch* m_enabled;
    QToolButton* m_choose;
    QToolButton* m_delete;
};

} // namespace tarnwell
