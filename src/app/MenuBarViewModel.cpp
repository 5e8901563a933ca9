#include "app/MenuBarViewModel.h"

#include "core/model/AppPresetService.h"
#include "core/model/RuleService.h"
#include "core/support/Localization.h"

#include <QHash>
#include <algorithm>

namespace tarnwell {

namespace {

using RuleKind = StorageTargetRuntimeStatus::Kind;
using AggregateKind = TarnwellStatus::Kind;
using Color = MenuBarViewModel::StatusColorKind;

struct StatusLook {
    const char* title;
    const char* icon;
    Color color;
};

// The per-rule and aggregate tables differ only in the not-found row.
StatusLook look(RuleKind kind) {
    switch (kind) {
    case RuleKind::NotConfigured:
        return {"Not Configured", "gearshape", Color::Secondary};
    case RuleKind::Mounted:
        return {"Mounted", "externaldrive.fill", Color::Green};
    case RuleKind::NotMounted:
        return {"Not Mounted", "externaldrive", Color::Accent};
    case RuleKind::Mounting:
        return {"Mounting", "arrow.clockwise.circle.fill", Color::Orange};
    case RuleKind::Unmounting:
        return {"Unmounting", "eject.circle.fill", Color::Orange};
    case RuleKind::ReadyToUnmount:
        return {"Ready to Unmount", "checkmark.circle.fill", Color::Green};
    case RuleKind::TargetNotFound:
        return {"Target Not Found", "questionmark.circle.fill", Color::Red};
    case RuleKind::MountFailed:
        return {"Mount Failed", "exclamationmark.triangle.fill", Color::Red};
    case RuleKind::UnmountFailed:
        return {"Unmount Failed", "exclamationmark.triangle.fill", Color::Red};
    }
    Q_UNREACHABLE();
}

StatusLook look(AggregateKind kind) {
    switch (kind) {
    case AggregateKind::NotConfigured:
        return look(RuleKind::NotConfigured);
    case AggregateKind::Mounted:
        return look(RuleKind::Mounted);
    case AggregateKind::NotMounted:
        return look(RuleKind::NotMounted);
    case AggregateKind::Mounting:
        return look(RuleKind::Mounting);
    case AggregateKind::Unmounting:
        return look(RuleKind::Unmounting);
    case AggregateKind::ReadyToUnmount:
        return look(RuleKind::ReadyToUnmount);
    case AggregateKind::DriveNotFound:
        return {"Drive Not Found", "questionmark.circle.fill", Color::Red};
    case AggregateKind::MountFailed:
        return look(RuleKind::MountFailed);
    case AggregateKind::UnmountFailed:
        return look(RuleKind::UnmountFailed);
    }
    Q_UNREACHABLE();
}

bool isIssue(const StorageTargetRuntimeStatus& status) {
    const auto kind = status.kind();
    return kind == RuleKind::MountFailed || kind == RuleKind::UnmountFailed ||
           kind == RuleKind::TargetNotFound;
}

} // namespace

QList<StorageTargetState> operationalTargetStates(const QList<StorageTargetState>& targetStates) {
    QList<StorageTargetState> operational;
    std::copy_if(targetStates.begin(), targetStates.end(), std::back_inserter(operational),
                 [](const StorageTargetState& state) { return state.rule.isEnabled; });
    return operational;
}

MenuBarViewModel::MenuBarViewModel(TarnwellConfiguration configuration,
                                   QList<StorageTargetState> targetStates, QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_targetStates(std::move(targetStates))
    , m_rule(RuleService::rule(m_configuration))
    , m_status(aggregateStatus(m_configuration, m_targetStates)) {
}

void MenuBarViewModel::update(std::optional<TarnwellConfiguration> configuration,
                              std::optional<QList<StorageTargetState>> targetStates,
                              std::optional<TarnwellStatus> status) {
    if (!configuration && !targetStates && !status) {
        return;
    }
    if (configuration) {
        m_configuration = std::move(*configuration);
        m_rule = RuleService::rule(m_configuration);
        Q_EMIT configurationChanged();
        Q_EMIT ruleChanged();
    }
    if (targetStates) {
        m_targetStates = std::move(*targetStates);
        Q_EMIT targetStatesChanged();
    }
    m_status = status ? std::move(*status) : aggregateStatus(m_configuration, m_targetStates);
    Q_EMIT statusChanged();
    Q_EMIT presentationChanged();
}

TarnwellStatus MenuBarViewModel::aggregateStatus(const TarnwellConfiguration& configuration,
                                                 const QList<StorageTargetState>& targetStates) {
    if (configuration.storageRules.isEmpty()) {
        return TarnwellStatus::notConfigured();
    }
    const QList<StorageTargetState> operational = operationalTargetStates(targetStates);
    if (operational.isEmpty()) {
        return TarnwellStatus::notConfigured();
    }
    const auto first = [&](RuleKind kind) {
        return std::find_if(operational.begin(), operational.end(),
                            [kind](const StorageTargetState& state) { return state.status.kind() == kind; });
    };
    const auto any = [&](RuleKind kind) { return first(kind) != operational.end(); };
    if (const auto failed = first(RuleKind::MountFailed); failed != operational.end()) {
        return TarnwellStatus::mountFailed(failed->status.message());
    }
    if (const auto failed = first(RuleKind::UnmountFailed); failed != operational.end()) {
        return TarnwellStatus::unmountFailed(failed->status.message());
    }
    if (any(RuleKind::TargetNotFound)) {
        return TarnwellStatus::driveNotFound();
    }
    if (any(RuleKind::Mounting)) {
        return TarnwellStatus::mounting();
    }
    if (any(RuleKind::Unmounting)) {
        return TarnwellStatus::unmounting();
    }
    if (any(RuleKind::ReadyToUnmount)) {
        return TarnwellStatus::readyToUnmount();
    }
    if (any(RuleKind::Mounted)) {
        return TarnwellStatus::mounted();
    }
    return TarnwellStatus::notMounted();
}

QList<StorageTargetState> MenuBarViewModel::operationalStates() const {
    return operationalTargetStates(m_targetStates);
}

QString MenuBarViewModel::statusTitle() const {
    if (m_configuration.storageRules.size() < 2) {
        return title(m_status);
    }
    const QList<StorageTargetState> operational = operationalStates();
    const auto issues = std::count_if(operational.begin(), operational.end(),
                                      [](const StorageTargetState& state) { return isIssue(state.status); });
    if (issues > 0) {
        return localizedCount("%lld issues", issues);
    }
    const auto mounted =
        std::count_if(operational.begin(), operational.end(), [](const StorageTargetState& state) {
            return state.status.kind() == RuleKind::Mounted;
        });
    return localizedFormat("%lld mounted", {qint64(mounted)});
}

QString MenuBarViewModel::statusIcon() const {
    return icon(m_status);
}

MenuBarViewModel::StatusColorKind MenuBarViewModel::statusColorKind() const {
    return colorKind(m_status);
}

QList<MenuBarViewModel::TargetRow> MenuBarViewModel::targetRows() const {
    QHash<QUuid, const StorageTargetState*> statesByID;
    for (const StorageTargetState& state : m_targetStates) {
        statesByID.insert(state.rule.id, &state);
    }
    QList<TargetRow> rows;
    for (const StorageTargetRule& rule : rulesInDisplayOrder(m_configuration.storageRules)) {
        const StorageTargetState* state = statesByID.value(rule.id);
        const StorageTargetRuntimeStatus status =
            state ? state->status : StorageTargetRuntimeStatus::notConfigured();
        TargetRow row{rule.id, state ? state->rule.name : rule.name, {}, {}, StatusColorKind::Secondary};
        if (rule.isEnabled) {
            row.statusTitle = title(status);
            row.statusIcon = icon(status);
            row.statusColorKind = colorKind(status);
        } else {
            row.statusTitle = disabledTitle();
            row.statusIcon = QStringLiteral("pause.circle");
        }
        rows.append(row);
    }
    return rows;
}

void MenuBarViewModel::setInstalledPresetIdentifiers(QSet<QString> identifiers) {
    if (identifiers != m_installedPresetIdentifiers) {
        m_installedPresetIdentifiers = std::move(identifiers);
        Q_EMIT presentationChanged();
    }
}

QString MenuBarViewModel::enabledAppSummary() const {
    const auto enabled = std::count_if(
        m_rule.appTriggers.begin(), m_rule.appTriggers.end(), [this](const AppTrigger& trigger) {
            return trigger.isEnabled && AppPresetService::isInstalled(trigger, m_installedPresetIdentifiers);
        });
    if (enabled == 0) {
        return localized("No apps enabled");
    }
    if (enabled == 1) {
        return localized("1 app enabled");
    }
    return localizedCount("%lld apps enabled", enabled);
}

bool MenuBarViewModel::canMountMissing() const {
    const QList<StorageTargetState> operational = operationalStates();
    return std::any_of(operational.begin(), operational.end(),
                       [](const StorageTargetState& state) { return state.status.canRequestManualMount(); });
}

bool MenuBarViewModel::canUnmountReady() const {
    const QList<StorageTargetState> operational = operationalStates();
    return std::any_of(operational.begin(), operational.end(), [](const StorageTargetState& state) {
        return state.status.kind() == RuleKind::Mounted || state.status.kind() == RuleKind::ReadyToUnmount;
    });
}

QString MenuBarViewModel::title(const StorageTargetRuntimeStatus& status) {
    return localized(look(status.kind()).title);
}
QString MenuBarViewModel::icon(const StorageTargetRuntimeStatus& status) {
    return QString::fromLatin1(look(status.kind()).icon);
}
MenuBarViewModel::StatusColorKind MenuBarViewModel::colorKind(const StorageTargetRuntimeStatus& status) {
    return look(status.kind()).color;
}
QString MenuBarViewModel::title(const TarnwellStatus& status) {
    return localized(look(status.kind()).title);
}
QString MenuBarViewModel::icon(const TarnwellStatus& status) {
    return QString::fromLatin1(look(status.kind()).icon);
}
MenuBarViewModel::StatusColorKind MenuBarViewModel::colorKind(const TarnwellStatus& status) {
    return look(status.kind()).color;
}
QString MenuBarViewModel::disabledTitle() {
    return localized("Disabled");
}

} // namespace tarnwell
