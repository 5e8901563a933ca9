#pragma once

#include "core/model/DriveRule.h"
#include "core/model/StorageTargetState.h"
#include "core/model/TarnwellConfiguration.h"
#include "core/model/TarnwellStatus.h"

#include <QObject>
#include <QSet>
#include <optional>

namespace tarnwell {

// What the tray panel shows: the headline status, one row per rule, the enabled applications and
// whether the two bulk actions make sense now. It performs no actions itself.
class MenuBarViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::DriveRule rule READ rule NOTIFY ruleChanged)
    Q_PROPERTY(tarnwell::TarnwellStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(tarnwell::TarnwellConfiguration configuration READ configuration NOTIFY configurationChanged)
    Q_PROPERTY(QList<tarnwell::StorageTargetState> targetStates READ targetStates NOTIFY targetStatesChanged)
    Q_PROPERTY(QString statusTitle READ statusTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString statusIcon READ statusIcon NOTIFY presentationChanged)
    Q_PROPERTY(StatusColorKind statusColorKind READ statusColorKind NOTIFY presentationChanged)
    Q_PROPERTY(QString enabledAppSummary READ enabledAppSummary NOTIFY presentationChanged)
    Q_PROPERTY(bool canMountMissing READ canMountMissing NOTIFY presentationChanged)
    Q_PROPERTY(bool canUnmountReady READ canUnmountReady NOTIFY presentationChanged)

public:
    enum class StatusColorKind { Green, Orange, Red, Secondary, Accent };
    Q_ENUM(StatusColorKind)

    struct TargetRow {
        QUuid id;
        QString title;
        QString statusTitle;
        QString statusIcon;
        StatusColorKind statusColorKind = StatusColorKind::Secondary;

        bool operator==(const TargetRow&) const = default;
    };

    MenuBarViewModel(TarnwellConfiguration configuration, QList<StorageTargetState> targetStates,
                     QObject* parent = nullptr);

    // Absent arguments leave their input unchanged. Without a status, a new configuration or new
    // states recompute it locally.
    void update(std::optional<TarnwellConfiguration> configuration = std::nullopt,
                std::optional<QList<StorageTargetState>> targetStates = std::nullopt,
                std::optional<TarnwellStatus> status = std::nullopt);

    const DriveRule& rule() const { return m_rule; }
    const TarnwellStatus& status() const { return m_status; }
    const TarnwellConfiguration& configuration() const { return m_configuration; }
    const QList<StorageTargetState>& targetStates() const { return m_targetStates; }
    // Which presets' applications this machine has; none until the composition root tells.
    void setInstalledPresetIdentifiers(QSet<QString> identifiers);

    QString statusTitle() const;
    QString statusIcon() const;
    StatusColorKind statusColorKind() const;
    QList<TargetRow> targetRows() const;
    // Counts the enabled applications that can launch here: presets not installed are left out.
    QString enabledAppSummary() const;
    bool canMountMissing() const;
    bool canUnmountReady() const;

    // The panel's own aggregate: not-found outranks operations in progress, and a mix of idle
    // and unconfigured rules reads as not mounted.
    static TarnwellStatus aggregateStatus(const TarnwellConfiguration& configuration,
                                          const QList<StorageTargetState>& targetStates);

    // Text, symbol and colour of one rule's status; shared with the dashboard.
    static QString title(const StorageTargetRuntimeStatus& status);
    static QString icon(const StorageTargetRuntimeStatus& status);
    static StatusColorKind colorKind(const StorageTargetRuntimeStatus& status);
    // The same for the aggregate status.
    static QString title(const TarnwellStatus& status);
    static QString icon(const TarnwellStatus& status);
    static StatusColorKind colorKind(const TarnwellStatus& status);
    // What a disabled rule's row shows.
    static QString disabledTitle();

Q_SIGNALS:
    void ruleChanged();
    void statusChanged();
    void configurationChanged();
    void targetStatesChanged();
    // Any input changed, so every computed text may have changed.
    void presentationChanged();

private:
    QList<StorageTargetState> operationalStates() const;

    TarnwellConfiguration m_configuration;
    QList<StorageTargetState> m_targetStates;
    DriveRule m_rule;
    TarnwellStatus m_status;
    QSet<QString> m_installedPresetIdentifiers;
};

// Only the enabled rules' states count for totals and actions.
QList<StorageTargetState> operationalTargetStates(const QList<StorageTargetState>& targetStates);

} // namespace tarnwell
