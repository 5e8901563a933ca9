#include "platform/linux/EditorsProbe.h"

#include "core/support/Localization.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "platform/linux/HealthProbeSupport.h"

#include <QDir>
#include <QFile>

namespace tarnwell {

EditorsProbe::EditorsProbe(std::shared_ptr<DesktopEntryCatalog> desktopEntries, QString procRoot)
    : m_desktopEntries(std::move(desktopEntries))
    , m_procRoot(std::move(procRoot)) {
}

QString EditorsProbe::title() const {
    return localized("Editors");
}

QCoro::Task<HealthCheck> EditorsProbe::check(HealthInputs inputs) {
    // The reading is shared and never changes once made, so only the answers are taken here.
    QSet<QString> installed;
    const auto reading = m_desktopEntries ? m_desktopEntries->current() : nullptr;
    for (const AppTrigger& trigger : std::as_const(inputs.configuration.appTriggers)) {
        for (const QString& id : trigger.bundleIdentifiers) {
            if (reading && reading->index.entry(id)) {
                installed.insert(id);
            }
        }
    }
    return check(std::move(inputs), std::move(installed), m_procRoot);
}

EditorsProbe::WatchBudget EditorsProbe::watchBudget(const QString& procRoot) {
    WatchBudget budget;
    QFile limit(procRoot + QStringLiteral("/sys/fs/inotify/max_user_watches"));
    if (limit.open(QIODevice::ReadOnly)) {
        bool ok = false;
        budget.limit = limit.readAll().trimmed().toLongLong(&ok);
        budget.limit = ok ? budget.limit : -1;
    }
    // Each watch is one "inotify wd:" line in the description of the instance that holds it.
    const QDir descriptions(procRoot + QStringLiteral("/self/fdinfo"));
    if (!descriptions.exists()) {
        return budget;
    }
    budget.inUse = 0;
    for (const QString& name : descriptions.entryList(QDir::Files)) {
        QFile description(descriptions.filePath(name));
        if (description.open(QIODevice::ReadOnly)) {
            budget.inUse += description.readAll().count("inotify wd:");
        }
    }
    return budget;
}

namespace {

// Kept apart from the coroutine, which only reads the watch budget: texts are built here, in plain code.
HealthCheck describe(const HealthInputs& inputs, const QSet<QString>& installed,
                     const EditorsProbe::WatchBudget& budget) {
    HealthCheck result{localized("Editors"), HealthState::Fine};
    QSet<QUuid> bound;
    for (const StorageTargetRule& rule : std::as_const(inputs.configuration.storageRules)) {
        if (rule.isEnabled) {
            bound.unite(QSet<QUuid>(rule.appTriggerIDs.cbegin(), rule.appTriggerIDs.cend()));
        }
    }
    QStringList lines;
    qint64 editors = 0;
    qint64 polled = 0;
    qint64 missing = 0;
    for (const AppTrigger& trigger : std::as_const(inputs.configuration.appTriggers)) {
        if (!trigger.isEnabled || !bound.contains(trigger.id)) {
            continue;
        }
        ++editors;
        const bool anyInstalled =
            std::any_of(trigger.bundleIdentifiers.cbegin(), trigger.bundleIdentifiers.cend(),
                        [&](const QString& id) { return installed.contains(id); }) ||
            (trigger.appPath && QFile::exists(*trigger.appPath));
        missing += anyInstalled ? 0 : 1;
        QStringList follows;
        bool byEvents = !trigger.bundleIdentifiers.isEmpty();
        for (const QString& id : trigger.bundleIdentifiers) {
            const auto watch =
                std::find_if(inputs.applicationWatches.cbegin(), inputs.applicationWatches.cend(),
                             [&](const ApplicationWatch& each) { return each.bundleIdentifier == id; });
            if (watch == inputs.applicationWatches.cend()) {
                byEvents = false;
                follows.append(localizedFormat("%@: not watched yet", {id}));
            } else {
                byEvents = byEvents && watch->followedByEvents;
                follows.append(
                    watch->followedByEvents
                        ? localizedFormat("%@: followed by events, %@", {id, watch->reason})
                        : localizedFormat("%@: found by polling, because %@", {id, watch->reason}));
            }
        }
        polled += byEvents ? 0 : 1;
        lines.append(formatted(anyInstalled ? localized("%@: desktop entry installed; %@")
                                            : localized("%@: no desktop entry installed; %@"),
                               {trigger.displayName, follows.join(QStringLiteral("; "))}));
    }
    if (budget.inUse >= 0 && budget.limit > 0) {
        lines.append(localizedFormat("File watches: Tarnwell holds %lld of the %lld a user may hold.",
                                     {budget.inUse, budget.limit}));
    }
    result.details = lines.join(u'\n');
    if (editors == 0) {
        result.finding = localized("No enabled editor is bound to an enabled rule.");
        return result;
    }
    result.finding =
        localizedFormat("Followed by events: %lld of %lld bound editors.", {editors - polled, editors});
    if (missing > 0) {
        result.state = HealthState::NeedsAttention;
        result.advice =
            localized("Install the editors without a desktop entry, or choose their program on the "
                      "Apps page.");
    } else if (polled > 0) {
        result.state = HealthState::NeedsAttention;
        result.advice = localized("Polling notices a launch within a few seconds; the reasons below say what "
                                  "keeps events away.");
    }
    return result;
}

} // namespace

QCoro::Task<HealthCheck> EditorsProbe::check(HealthInputs inputs, QSet<QString> installed, QString procRoot) {
    std::function<WatchBudget()> work = [procRoot] { return watchBudget(procRoot); };
    const WatchBudget budget = co_await HealthProbeSupport::offThread<WatchBudget>(std::move(work));
    co_return describe(inputs, installed, budget);
}

} // namespace tarnwell
