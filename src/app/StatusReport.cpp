#include "app/StatusReport.h"

#include <QHash>
#include <algorithm>

namespace tarnwell {

bool StatusReport::failed() const {
    return std::any_of(rules.cbegin(), rules.cend(), [](const Rule& rule) {
        return rule.enabled &&
               (rule.state == QStringLiteral("mountFailed") || rule.state == QStringLiteral("unmountFailed"));
    });
}

QString StatusReport::text() const {
    QString result = title + u'\n';
    for (const Rule& rule : rules) {
        result += rule.name + QStringLiteral(": ") + rule.title;
        if (!rule.message.isEmpty()) {
            result += QStringLiteral(" (") + rule.message + u')';
        }
        result += u'\n';
    }
    return result;
}

QList<QVariantMap> StatusReport::busRules() const {
    QList<QVariantMap> result;
    for (const Rule& rule : rules) {
        result.append({{QStringLiteral("id"), rule.id.toString(QUuid::WithoutBraces).toUpper()},
                       {QStringLiteral("name"), rule.name},
                       {QStringLiteral("enabled"), rule.enabled},
                       {QStringLiteral("state"), rule.state},
                       {QStringLiteral("title"), rule.title},
                       {QStringLiteral("message"), rule.message}});
    }
    return result;
}

QList<StatusReport::Rule> StatusReport::rulesFromBus(const QList<QVariantMap>& rules) {
    QList<Rule> result;
    for (const QVariantMap& rule : rules) {
        result.append(
            {QUuid::fromString(rule.value(QStringLiteral("id")).toString()),
             rule.value(QStringLiteral("name")).toString(), rule.value(QStringLiteral("enabled")).toBool(),
             rule.value(QStringLiteral("state")).toString(), rule.value(QStringLiteral("title")).toString(),
             rule.value(QStringLiteral("message")).toString()});
    }
    return result;
}

StatusReport StatusReport::of(const MenuBarViewModel& menu) {
    QHash<QUuid, StorageTargetState> states;
    for (const StorageTargetState& state : menu.targetStates()) {
        states.insert(state.rule.id, state);
    }
    StatusReport report{menu.statusTitle(), {}};
    for (const MenuBarViewModel::TargetRow& row : menu.targetRows()) {
        const auto rule =
            std::find_if(menu.configuration().storageRules.cbegin(), menu.configuration().storageRules.cend(),
                         [&row](const StorageTargetRule& candidate) { return candidate.id == row.id; });
        const bool enabled = rule != menu.configuration().storageRules.cend() && rule->isEnabled;
        const StorageTargetRuntimeStatus status = states.value(row.id).status;
        report.rules.append(
            {row.id, row.title, enabled,
             enabled ? StorageTargetRuntimeStatus::name(status.kind()) : QStringLiteral("disabled"),
             row.statusTitle, enabled ? status.message() : QString()});
    }
    return report;
}

} // namespace tarnwell
