#pragma once

#include "app/MenuBarViewModel.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <QVariantMap>

namespace tarnwell {

// What Tarnwell tells a script about itself: the headline status and each rule's state, as the
// tray panel shows them. It is the one answer of the command line and of the D-Bus interface.
struct StatusReport {
    struct Rule {
        QUuid id;
        QString name;
        bool enabled = true;
        // The runtime status's case name ("mounted", "mountFailed", ...); "disabled" for a disabled rule.
        QString state;
        QString title;
        // The failure's message; empty unless the rule failed.
        QString message;

        bool operator==(const Rule&) const = default;
    };

    QString title;
    QList<Rule> rules;

    // Whether an enabled rule's last mount or unmount failed.
    bool failed() const;
    // The title, then one line per rule.
    QString text() const;

    // The rules as D-Bus dictionaries (aa{sv}), and back; fromBus() skips what it cannot read.
    QList<QVariantMap> busRules() const;
    static QList<Rule> rulesFromBus(const QList<QVariantMap>& rules);

    static StatusReport of(const MenuBarViewModel& menu);

    bool operator==(const StatusReport&) const = default;
};

} // namespace tarnwell
