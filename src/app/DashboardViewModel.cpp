#include "app/DashboardViewModel.h"

#include "app/MenuBarViewModel.h"
#include "core/model/AppPresetService.h"
#include "core/support/Localization.h"

#include <QLocale>
#include <algorithm>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

qint64 countStates(const QList<StorageTargetState>& states, std::initializer_list<Kind> kinds) {
    return std::count_if(states.begin(), states.end(), [&](const StorageTargetState& state) {
        return std::find(kinds.begin(), kinds.end(), state.status.kind()) != kinds.end();
    });
}

} // namespace

DashboardViewModel::DashboardViewModel(TarnwellConfiguration configuration,
                                       QList<StorageTargetState> targetStates,
                                       QSet<QString> runningBundleIdentifiers, QStringList logEntries,
                                       QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_targetStates(std::move(targetStates))
    , m_runningBundleIdentifiers(std::move(runningBundleIdentifiers))
    , m_logEntries(std::move(logEntries)) {
}

void DashboardViewModel::update(std::optional<TarnwellConfiguration> configuration,
                                std::optional<QList<StorageTargetState>> targetStates,
                                std::optional<QSet<QString>> runningBundleIdentifiers,
                                std::optional<QStringList> logEntries) {
    if (configuration) {
        m_configuration = std::move(*configuration);
        Q_EMIT configurationChanged();
    }
    if (targetStates) {
        m_targetStates = std::move(*targetStates);
        Q_EMIT targetStatesChanged();
    }
    if (runningBundleIdentifiers) {
        m_runningBundleIdentifiers = std::move(*runningBundleIdentifiers);
        Q_EMIT runningBundleIdentifiersChanged();
    }
    if (logEntries) {
        m_logEntries = std::move(*logEntries);
        Q_EMIT logEntriesChanged();
    }
    if (configuration || targetStates || runningBundleIdentifiers || logEntries) {
        Q_EMIT presentationChanged();
    }
}

QString DashboardViewModel::targetSummary() const {
    const qint64 mounted = countStates(operationalTargetStates(m_targetStates), {Kind::Mounted});
    return localizedCount("%lld targets / %lld mounted", m_configuration.storageRules.size(), {mounted});
}

QString DashboardViewModel::runningAppsSummary() const {
    const QList<AppTrigger> presets = AppPresetService::defaultPresets();
    const auto displayName = [&](const QString& identifier) {
        for (const QList<AppTrigger>* triggers : {&m_configuration.appTriggers, &presets}) {
            for (const AppTrigger& trigger : *triggers) {
                if (trigger.bundleIdentifiers.contains(identifier)) {
                    return trigger.displayName;
                }
            }
        }
        return identifier;
    };
    QStringList names;
    for (const QString& identifier : m_runningBundleIdentifiers) {
        names.append(displayName(identifier));
    }
    std::sort(names.begin(), names.end());
    if (names.isEmpty()) {
        return localized("No apps running");
    }
    if (names.size() == 1) {
        return localizedFormat("%@ running", {names.first()});
    }
    return localizedCount("%lld apps running", names.size());
}

QList<DashboardViewModel::StorageRow> DashboardViewModel::storageRows() const {
    QList<StorageRow> rows;
    for (const StorageTargetRule& rule : rulesInDisplayOrder(m_configuration.storageRules)) {
        const auto state =
            std::find_if(m_targetStates.begin(), m_targetStates.end(),
                         [&](const StorageTargetState& candidate) { return candidate.rule.id == rule.id; });
        const StorageTargetRuntimeStatus status =
            state != m_targetStates.end() ? state->status : StorageTargetRuntimeStatus::notConfigured();
        const Kind kind = status.kind();
        StorageRow row;
        row.id = rule.id;
        row.title = rule.name;
        row.isEnabled = rule.isEnabled;
        row.detail = rule.target.displayName();
        row.appSummary = appSummary(rule);
        row.policySummary = policySummary(rule);
        row.statusTitle =
            rule.isEnabled ? MenuBarViewModel::title(status) : MenuBarViewModel::disabledTitle();
        row.canMount =
            rule.isEnabled && kind != Kind::Mounted && kind != Kind::Mounting && kind != Kind::Unmounting;
        row.canUnmount = rule.isEnabled && (kind == Kind::Mounted || kind == Kind::ReadyToUnmount);
        rows.append(row);
    }
    return rows;
}

QString DashboardViewModel::appSummary(const StorageTargetRule& rule) const {
    QStringList names;
    for (const AppTrigger& trigger : m_configuration.appTriggers) {
        if (rule.appTriggerIDs.contains(trigger.id)) {
            names.append(trigger.displayName);
        }
    }
    if (names.isEmpty()) {
        return localized("No apps bound");
    }
    std::sort(names.begin(), names.end());
    return names.join(QStringLiteral(", "));
}

QString DashboardViewModel::policySummary(const StorageTargetRule& rule) {
    switch (rule.postQuitAction) {
    case PostQuitAction::Off:
        return localized("Manual only");
    case PostQuitAction::Remind:
        return localized("Remind when safe");
    case PostQuitAction::AutoUnmount:
        return localizedCount("Auto-unmount after %lld seconds", rule.unmountDelaySeconds);
    }
    Q_UNREACHABLE();
}

qint64 DashboardViewModel::errorCount() const {
    return countStates(operationalTargetStates(m_targetStates),
                       {Kind::MountFailed, Kind::UnmountFailed, Kind::TargetNotFound});
}

qint64 DashboardViewModel::readyCount() const {
    return countStates(operationalTargetStates(m_targetStates), {Kind::ReadyToUnmount});
}

QString DashboardViewModel::safetySummary() const {
    const qint64 errors = errorCount();
    if (errors == 1) {
        return localized("1 error");
    }
    if (errors > 1) {
        return localizedCount("%lld errors", errors);
    }
    const qint64 ready = readyCount();
    if (ready == 0) {
        return localized("All safe");
    }
    if (ready == 1) {
        return localized("1 ready to unmount");
    }
    return localizedFormat("%lld ready to unmount", {ready});
}

bool DashboardViewModel::isAllSafe() const {
    return errorCount() == 0 && readyCount() == 0;
}

QString DashboardViewModel::safetyCaption() const {
    return isAllSafe() ? localized("No risk detected") : localized("Needs attention");
}

QString DashboardViewModel::safetyIcon() const {
    return isAllSafe() ? QStringLiteral("checkmark.shield.fill")
                       : QStringLiteral("exclamationmark.triangle.fill");
}

MenuBarViewModel::StatusColorKind DashboardViewModel::safetyColorKind() const {
    return isAllSafe() ? MenuBarViewModel::StatusColorKind::Green : MenuBarViewModel::StatusColorKind::Orange;
}

namespace {

// A log line is "[yyyy-MM-dd HH:mm:ss +0000] message"; anything else is all message.
std::optional<std::pair<QDateTime, QString>> splitLogLine(const QString& line) {
    const qsizetype close = line.indexOf(QStringLiteral("] "));
    if (!line.startsWith(u'[') || close < 0) {
        return std::nullopt;
    }
    const QString stamp = line.mid(1, close - 1);
    QDateTime moment =
        QDateTime::fromString(stamp.section(u' ', 0, 1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!moment.isValid() || stamp.section(u' ', 2) != u"+0000") {
        return std::nullopt;
    }
    moment.setTimeSpec(Qt::UTC);
    return std::pair{moment, line.mid(close + 2)};
}

} // namespace

QString DashboardViewModel::recentEventText() const {
    return m_logEntries.isEmpty() ? localized("No recent events") : m_logEntries.last();
}

QString DashboardViewModel::recentEventMessage() const {
    if (m_logEntries.isEmpty()) {
        return localized("No recent events");
    }
    const auto parts = splitLogLine(m_logEntries.last());
    return parts ? parts->second : m_logEntries.last();
}

std::optional<QDateTime> DashboardViewModel::recentEventTime() const {
    const auto parts = m_logEntries.isEmpty() ? std::nullopt : splitLogLine(m_logEntries.last());
    return parts ? std::optional(parts->first) : std::nullopt;
}

QString DashboardViewModel::relativeTime(const QDateTime& moment, const QDateTime& now) {
    const qint64 seconds = moment.secsTo(now);
    if (seconds < 60) {
        return localized("Just now");
    }
    if (seconds < 3600) {
        return localizedFormat("%lld min ago", {seconds / 60});
    }
    const QDateTime local = moment.toLocalTime();
    const QLocale locale;
    if (local.date() == now.toLocalTime().date()) {
        return locale.toString(local.time(), QLocale::ShortFormat);
    }
    return locale.toString(local, QLocale::ShortFormat);
}

QString DashboardViewModel::recentErrorText() const {
    // Each state's message belongs to its present status, so the first state, from the last, with a
    // message or a missing drive says the most recent trouble.
    const QList<StorageTargetState> operational = operationalTargetStates(m_targetStates);
    for (auto state = operational.rbegin(); state != operational.rend(); ++state) {
        if (state->lastErrorMessage) {
            return *state->lastErrorMessage;
        }
        if (state->status.kind() == Kind::TargetNotFound) {
            return localizedFormat("The drive of %@ cannot be found", {state->rule.name});
        }
    }
    return localized("No recent errors");
}

QList<DashboardViewModel::OnboardingStep> DashboardViewModel::onboardingSteps() const {
    if (!m_configuration.storageRules.isEmpty()) {
        return {};
    }
    return {
        {1, localized("Add your first media drive"), QStringLiteral("externaldrive.badge.plus")},
        {2, localized("Bind editing apps"), QStringLiteral("app.badge")},
        {3, localized("Choose a safe quit behavior"), QStringLiteral("checkmark.shield")},
    };
}

QStringList DashboardViewModel::emptyStateSteps() const {
    QStringList titles;
    for (const OnboardingStep& step : onboardingSteps()) {
        titles.append(step.title);
    }
    return titles;
}

void DashboardViewModel::setStatusCheckedAt(const QDateTime& checkedAt) {
    if (m_statusCheckedAt != checkedAt) {
        m_statusCheckedAt = checkedAt;
        Q_EMIT statusCheckedAtChanged();
    }
}

QString DashboardViewModel::statusCheckedText(const QDateTime& now) const {
    if (!m_statusCheckedAt.isValid()) {
        return localized("Checking drives…");
    }
    const qint64 minutes = std::max<qint64>(0, m_statusCheckedAt.secsTo(now)) / 60;
    if (minutes < 1) {
        return localized("Updated just now");
    }
    if (minutes < 60) {
        return localizedFormat("Updated %@ min ago", {QString::number(minutes)});
    }
    return localizedFormat("Updated at %@",
                           {QLocale().toString(m_statusCheckedAt.time(), QLocale::ShortFormat)});
}

} // namespace tarnwell
