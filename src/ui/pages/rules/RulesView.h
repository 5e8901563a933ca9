#pragma once

#include "app/TarnwellContainer.h"
#include "ui/components/WorkspacePage.h"

#include <QPointer>
#include <optional>

class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;

namespace tarnwell {

class NoticeLabel;
class RuleCard;
class SelectableList;
class StorageRuleEditorView;
class WorkspaceSplitView;

// The storage rules on the left and the selected one's editor on the right. Rules are added from
// the external volumes the volumes view model lists; every change goes through the rules view
// model, and its error is shown above the list.
class RulesView : public WorkspacePage {
    Q_OBJECT

public:
    explicit RulesView(TarnwellContainer* container, QWidget* parent = nullptr);

    std::optional<QUuid> selectedRuleID() const { return m_selectedRuleID; }
    void selectRule(std::optional<QUuid> id);
    QList<RuleCard*> cards() const { return m_cards; }
    StorageRuleEditorView* editor() const;
    // The add menu as it stands for the latest volume listing.
    QMenu* addMenu();
    bool isRefreshingVolumes() const { return m_isRefreshingVolumes; }
    QPushButton* refreshButton() const { return m_refresh; }
    NoticeLabel* errorLabel() const { return m_error; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QList<StorageTargetRule> editableRules() const;
    QList<DriveInfo> candidateVolumes() const;
    void renderRules();
    void renderDetail();
    void renderAddMenu();
    void buildAddMenu();
    void renderError();
    void reconcileSelection();
    void refreshVolumes();
    void setRefreshing(bool refreshing);
    static QCoro::Task<> refresh(QPointer<RulesView> view, QPointer<VolumesViewModel> volumes);
    static QCoro::Task<> showAllVolumes(QPointer<VolumesViewModel> volumes);
    static QCoro::Task<> addRule(QPointer<RulesView> view, QPointer<RulesViewModel> rules, DriveInfo volume);

    QPointer<TarnwellContainer> m_container;
    QPointer<RulesViewModel> m_rules;
    QPointer<VolumesViewModel> m_volumes;
    std::optional<QUuid> m_selectedRuleID;
    bool m_isRefreshingVolumes = false;
    QList<QUuid> m_shownRuleIDs;
    NoticeLabel* m_error;
    QPushButton* m_add;
    QMenu* m_addMenu;
    bool m_addMenuIsCurrent = false;
    QPushButton* m_refresh;
    WorkspaceSplitView* m_split;
    SelectableList* m_cardList;
    QWidget* m_emptyRules;
    QList<RuleCard*> m_cards;
};

} // namespace tarnwell
