#pragma once

#include "app/RulesViewModel.h"
#include "app/VolumesViewModel.h"

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tarnwell {

class SettingsPanel;
class ToggleSwitch;

// Edits one rule, named by its id for the editor's whole life: a change never reaches another
// rule, and when the rule is gone the editor says so instead of showing stale values. Every
// control shows the stored value; a change goes through one view-model operation.
class StorageRuleEditorView : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 minimumDelay = 0;
    static constexpr qint64 maximumDelay = 600;
    static constexpr qint64 delayStep = 5;

    StorageRuleEditorView(QUuid ruleID, RulesViewModel* rulesViewModel, VolumesViewModel* volumesViewModel,
                          QWidget* parent = nullptr);

    QUuid ruleID() const { return m_ruleID; }
    // The editors this machine has are offered first; the others follow, marked, since a rule may
    // be set up before its editor is installed.
    void setInstalledPresetIdentifiers(QSet<QString> identifiers);
    QLineEdit* nameField() const { return m_name; }
    QComboBox* volumePicker() const { return m_volume; }
    ToggleSwitch* mountOnLaunchSwitch() const { return m_mountOnLaunch; }
    QComboBox* postQuitPicker() const { return m_postQuit; }
    QLineEdit* delayField() const { return m_delay; }
    QToolButton* delayDown() const { return m_delayDown; }
    QToolButton* delayUp() const { return m_delayUp; }
    ToggleSwitch* notificationsSwitch() const { return m_notifications; }
    QList<QCheckBox*> appToggles() const { return m_appToggles; }
    QPushButton* deleteButton() const { return m_delete; }
    QLabel* missingLabel() const { return m_missing; }

Q_SIGNALS:
    // The rule was deleted from here; the page drops its selection.
    void deleted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Names typed while a rename is being saved wait here; only the latest one is saved next.
    struct NameDraft {
        QString text;
        bool pending = false;
        bool saving = false;
    };

    void buildLayout();
    void render();
    void renderName(const StorageTargetRule& rule);
    void renderVolumes(const StorageTargetRule& rule);
    void renderApps(const StorageTargetRule& rule, QList<AppTrigger> triggers);
    std::optional<StorageTargetRule> rule() const;
    void nameEdited(const QString& text);
    void volumeChosen(int index);
    void commitDelay();
    void stepDelay(qint64 direction);
    void run(QCoro::Task<> task, const char* purpose);
    static QCoro::Task<> saveNames(QPointer<StorageRuleEditorView> editor, QPointer<RulesViewModel> viewModel,
                                   QUuid ruleID, std::shared_ptr<NameDraft> draft);
    static QCoro::Task<> deleteRule(QPointer<StorageRuleEditorView> editor,
                                    QPointer<RulesViewModel> viewModel, QUuid ruleID);

    const QUuid m_ruleID;
    QPointer<RulesViewModel> m_rules;
    QPointer<VolumesViewModel> m_volumes;
    std::shared_ptr<NameDraft> m_nameDraft = std::make_shared<NameDraft>();
    SettingsPanel* m_panel = nullptr;
    QLabel* m_missing = nullptr;
    QLineEdit* m_name = nullptr;
    QComboBox* m_volume = nullptr;
    ToggleSwitch* m_mountOnLaunch = nullptr;
    QComboBox* m_postQuit = nullptr;
    QLineEdit* m_delay = nullptr;
    // The field holds a delay not yet saved.
    bool m_delayDraft = false;
    QToolButton* m_delayDown = nullptr;
    QToolButton* m_delayUp = nullptr;
    ToggleSwitch* m_notifications = nullptr;
    QLabel* m_noApps = nullptr;
    QGridLayout* m_appGrid = nullptr;
    QList<QCheckBox*> m_appToggles;
    QList<QUuid> m_shownTriggerIDs;
    QSet<QString> m_installedPresetIdentifiers;
    QPushButton* m_delete = nullptr;
};

} // namespace tarnwell
